// Text-mode reading and writing. Reading works in place: raw bytes land in
// the caller's buffer at the write position and are compacted as CR LF pairs
// shrink, so the buffer is filled once and never copied.
#include "text_mode.h"

#include <algorithm>

#include "text_runs.h"

namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kEndOfText = 0x1A;  // Ctrl-Z: nothing from here on is delivered

}  // namespace

std::size_t readTextPiece(TextReader& reader, char* buffer, std::size_t capacity) {
    if (reader.finished) return 0;
    std::size_t delivered = 0;  // buffer[0, delivered) is final
    std::size_t pos = 0;        // raw bytes not yet translated: buffer[pos, rawEnd)
    std::size_t rawEnd = 0;

    // Reads raw bytes to buffer[at, ...). Returns false at the end of the
    // input or on an error, which then finishes the reader.
    auto fill = [&](std::size_t at) {
        const std::ptrdiff_t got =
            reader.read(reader.source, buffer + at, std::min(capacity - at, kReadPiece));
        if (got <= 0) {
            reader.failed = got < 0;
            reader.finished = true;
            return false;
        }
        rawEnd = at + static_cast<std::size_t>(got);
        return true;
    };
    // A CR whose next byte is still to be read: whether it is delivered as
    // itself or joins a LF is decided once raw bytes follow it. At the end
    // of the input, or before a read error, it stays.
    auto readAfterCr = [&]() {
        buffer[0] = kCarriageReturn;
        pos = 0;
        if (fill(1)) return;
        delivered = 1;
        rawEnd = 0;
    };

    if (reader.pendingCr) {
        reader.pendingCr = false;
        readAfterCr();
    }
    while (!reader.finished) {
        if (pos == rawEnd) {
            if (delivered > 0 || !fill(0)) break;  // one raw request a piece
            pos = 0;
        }
        const std::size_t before = reader.delivered + delivered;
        if (before == reader.limit) {
            // At the limit one more raw byte tells whether anything is lost.
            reader.truncated = buffer[pos] != kEndOfText;
            reader.finished = true;
            break;
        }
        // One pass delivers everything up to the next byte the reader must
        // decide on, moved down over the room CR LF pairs leave.
        const TextRun run =
            deliverTextRun(buffer + delivered, buffer + pos, rawEnd - pos, reader.limit - before,
                           reader.nulSeen ? ReadStops::kWithoutNul : ReadStops::kWithNul);
        delivered += run.delivered;
        pos += run.read;
        if (pos == rawEnd || reader.delivered + delivered == reader.limit) continue;
        if (buffer[pos] == kEndOfText) {
            reader.finished = true;
            break;
        }
        if (buffer[pos] == '\0') {
            // Delivered like any byte; only the first one is worth a stop.
            reader.nulSeen = true;
            reader.textEnd = reader.delivered + delivered;
            buffer[delivered++] = '\0';
            ++pos;
            continue;
        }
        // A CR as the last raw byte. A piece with text in it ends before it.
        if (delivered > 0) {
            reader.pendingCr = true;
            break;
        }
        readAfterCr();
    }
    reader.delivered += delivered;
    return delivered;
}

TextReadResult readTextMode(RawReadFn read, void* source, char* buffer, std::size_t limit) {
    TextReader reader{read, source, limit};
    std::size_t size = 0;
    // Each piece goes on where the last one ended, so the buffer fills as
    // in one pass; a CR left open by a piece starts the next.
    while (const std::size_t piece = readTextPiece(reader, buffer + size, limit + 1 - size)) {
        size += piece;
    }
    buffer[size] = '\0';
    return {size, reader.nulSeen ? reader.textEnd : size, reader.truncated, reader.failed};
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
