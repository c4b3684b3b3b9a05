// The bulk of text-mode reading and writing. Reading, in one pass over the raw bytes: each CR LF
// pair becomes a LF, a CR before any other byte stays, and every other byte
// is delivered as it is, moved down over the room the pairs leave. The pass
// stops only where the reader must decide: at a Ctrl-Z, at a NUL until the
// first has been found, at a CR whose next byte is not read yet, and when
// the room for delivered bytes is full. Sixteen or 32 bytes at a time where
// the processor has vectors (with AVX-512 and its compress instruction, 64
// for reading), eight without them, and byte by byte near the end.
#ifndef PLAINWRIT_TEXT_RUNS_H
#define PLAINWRIT_TEXT_RUNS_H

#include <cstddef>

enum class ReadStops { kWithNul, kWithoutNul };

struct TextRun {
    std::size_t read;       // raw bytes taken
    std::size_t delivered;  // bytes written to `to`
};

// Takes raw bytes from[0, size) and delivers at most `room` bytes to `to`,
// which is `from` or below it; no byte at or after from + read is changed.
TextRun deliverTextRun(char* to, const char* from, std::size_t size, std::size_t room,
                       ReadStops stops);

// The same a byte at a time: the reference every form is tested against.
TextRun deliverTextRunBytes(char* to, const char* from, std::size_t size, std::size_t room,
                            ReadStops stops);

// The writing side: text[0, size) into `out`, each LF as CR LF, as far as
// `room` allows; a pair is never split. `delivered` counts the bytes put in
// `out`; bytes after them, up to `room`, may be changed too. `out` and
// `text` do not overlap.
TextRun expandTextRun(char* out, const char* text, std::size_t size, std::size_t room);
TextRun expandTextRunBytes(char* out, const char* text, std::size_t size, std::size_t room);

// The forms of lanes, for the tests: eight-byte words; 16 and 32 bytes of
// vector; and 64 for reading with 32 for writing. The two calls above take
// the last one available.
enum class TextLanes { kWords, kVectors, kWide, kWidest };
bool textLanesAvailable(TextLanes lanes);
// `lanes` must be available.
TextRun deliverTextRunBy(TextLanes lanes, char* to, const char* from, std::size_t size,
                         std::size_t room, ReadStops stops);
TextRun expandTextRunBy(TextLanes lanes, char* out, const char* text, std::size_t size,
                        std::size_t room);

#endif
