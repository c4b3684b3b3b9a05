// Text-mode reading and writing. Reading works in place: raw bytes land in
// the caller's buffer at the write position and are compacted as CR LF pairs
// shrink, so the buffer is filled once and never copied.
#include "text_mode.h"

#include <algorithm>

#include "text_runs.h"

namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kEndOfText = 0x1A;  // Ctrl-Z: nothing from here on is delivered

// Raw bytes are asked for in pieces small enough to stay in the processor's
// cache until the pass over them has run: read whole, a large file's first
// bytes would have left the cache by then.
constexpr std::size_t kReadPiece = std::size_t{128} << 10;

}  // namespace

TextReadResult readTextMode(RawReadFn read, void* source, char* buffer, std::size_t limit) {
    const std::size_t capacity = limit + 1;
    TextReadResult result{0, 0, false, false};
    std::size_t delivered = 0;  // buffer[0, delivered) is final
    std::size_t pos = 0;        // raw bytes not yet translated: buffer[pos, rawEnd)
    std::size_t rawEnd = 0;
    bool endOfInput = false;
    bool nulSeen = false;

    // Reads more raw bytes to buffer[at, ...). Returns false at the end of the
    // input or on an error (then result.failed is set).
    auto fill = [&](std::size_t at) {
        const std::ptrdiff_t got = read(source, buffer + at, std::min(capacity - at, kReadPiece));
        if (got <= 0) {
            result.failed = got < 0;
            return false;
        }
        rawEnd = at + static_cast<std::size_t>(got);
        return true;
    };

    for (;;) {
        if (pos == rawEnd) {
            if (endOfInput) break;
            // At the limit one more raw byte tells whether anything is lost;
            // it lands in the terminator's place.
            if (!fill(delivered)) break;
            pos = delivered;
        }
        if (delivered == limit) {
            result.truncated = buffer[pos] != kEndOfText;
            break;
        }
        // One pass delivers everything up to the next byte the reader must
        // decide on, moved down over the room CR LF pairs leave.
        const TextRun run =
            deliverTextRun(buffer + delivered, buffer + pos, rawEnd - pos, limit - delivered,
                           nulSeen ? ReadStops::kWithoutNul : ReadStops::kWithNul);
        delivered += run.delivered;
        pos += run.read;
        if (pos == rawEnd || delivered == limit) continue;
        if (buffer[pos] == kEndOfText) break;
        if (buffer[pos] == '\0') {
            // Delivered like any byte; only the first one is worth a stop.
            nulSeen = true;
            result.textEnd = delivered;
            buffer[delivered++] = '\0';
            ++pos;
            continue;
        }

        // A CR as the last raw byte: whether it is delivered as itself or
        // joins a LF depends on the byte after it, still to be read. With
        // more bytes read after it, the next pass decides.
        buffer[delivered] = kCarriageReturn;
        if (!fill(delivered + 1)) {
            buffer[delivered++] = kCarriageReturn;  // also before a read error
            pos = rawEnd = delivered;
            endOfInput = true;
            continue;
        }
        pos = delivered;
    }
    buffer[delivered] = '\0';
    result.size = delivered;
    if (!nulSeen) result.textEnd = delivered;
    return result;
}

bool writeTextMode(RawWriteFn write, void* sink, const char* text, std::size_t size, char* scratch,
                   std::size_t scratchSize) {
    std::size_t used = 0;
    std::size_t pos = 0;
    while (pos < size) {
        const TextRun run =
            expandTextRun(scratch + used, text + pos, size - pos, scratchSize - used);
        pos += run.read;
        used += run.delivered;
        if (pos < size) {  // the scratch is full, or has no room for a CR LF pair
            if (!write(sink, scratch, used)) return false;
            used = 0;
        }
    }
    return used == 0 || write(sink, scratch, used);
}
