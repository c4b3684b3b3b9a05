// Entity decoder: replaces the character references of a fixed table (the
// markup escapes, the non-breaking space and the Latin-1 characters 161 to 255
// by number and by name) with the single byte each stands for. Works in place
// and one level deep: a byte it writes is never looked at again.
#ifndef PLAINWRIT_ENTITIES_H
#define PLAINWRIT_ENTITIES_H

#include <cstddef>

struct EntityEntry {
    unsigned char code;  // the byte that replaces the reference
    const char* name;    // the whole reference, "&" to ";" included
};

constexpr std::size_t kEntityCount = 196;
extern const EntityEntry kEntityTable[kEntityCount];

// Rewrites the NUL-terminated `text` in place; it never grows.
void decodeEntities(char* text);

// The same for a text of known length (its terminator at text[length]);
// returns the new length and keeps the text terminated.
std::size_t decodeEntities(char* text, std::size_t length);

// Decoding in steps, while the text is still being written, so that each
// part is decoded while it is fresh in the cache. The decoded text collects
// at the start; the cursor says where the undecoded rest begins.
struct DecodeCursor {
    std::size_t read = 0;   // text[read, ...) is not decoded yet
    std::size_t write = 0;  // text[0, write) is the decoded text so far
};

// How the plain text between references moves down over the room the
// decoded ones leave: by the C library's search and move, or by the
// decoder's own loop over AVX2 or AVX-512 registers, which loads, searches,
// decodes and stores a register at a time (the AVX-512 form packs with the
// compress instruction of AVX-512 VBMI2). All give the same text.
enum class DecodeMoves { kLibrary, kAvx2, kAvx512 };

// Whether this build has `moves` and the processor running it can use them.
bool decodeMovesAvailable(DecodeMoves moves);

// The fastest moves this build and processor have, asked of the processor
// once per process; safe from many threads at once. The functions without a
// DecodeMoves argument use them.
DecodeMoves fastestDecodeMoves();

// The longest reference of the table, "&" to ";".
constexpr std::size_t kLongestReference = 8;

// Decodes what the first `ready` bytes of `text` settle: every byte and
// every reference that starts more than a longest reference before `ready`,
// so at most kLongestReference bytes are left undecoded.
// Bytes from text[cursor.write] up to text[ready] may change.
void decodeEntitiesReady(char* text, std::size_t ready, DecodeCursor& cursor, DecodeMoves moves);

// Decodes the rest, up to the terminator at text[length], and returns the
// length of the whole decoded text, which it terminates.
std::size_t decodeEntitiesFinish(char* text, std::size_t length, DecodeCursor& cursor);
std::size_t decodeEntitiesFinish(char* text, std::size_t length, DecodeCursor& cursor,
                                 DecodeMoves moves);

#endif
