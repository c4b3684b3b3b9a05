// Fuzz target: text-mode reading against the plain model. The first bytes
// choose the read limit (small, so that it is reached often), whether a CR is
// put exactly where the limit falls, and the sizes of the pieces the raw
// source hands out; the rest is the file. The buffer has exactly limit + 1
// bytes, and the source writes only as much as it is asked for. The same
// bytes then go through each form of one delivering pass and of one
// expanding pass, checked against the byte loop.
#include <algorithm>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "reference/plain_rules.h"
#include "text_mode.h"
#include "text_runs.h"

namespace {

constexpr TextLanes kEveryLanes[] = {TextLanes::kWords, TextLanes::kVectors, TextLanes::kWide,
                                     TextLanes::kWidest};

struct PieceSource {
    const std::string& raw;
    const std::vector<std::size_t>& pieces;  // 0: as much as asked
    std::size_t pos = 0;
    std::size_t calls = 0;
};

std::ptrdiff_t readPiece(void* source, char* buffer, std::size_t capacity) {
    PieceSource& s = *static_cast<PieceSource*>(source);
    require(capacity > 0, "a read of no bytes");
    std::size_t n = std::min(capacity, s.raw.size() - s.pos);
    const std::size_t piece = s.pieces[s.calls++ % s.pieces.size()];
    if (piece != 0) n = std::min(n, piece);
    std::memcpy(buffer, s.raw.data() + s.pos, n);
    s.pos += n;
    return static_cast<std::ptrdiff_t>(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned flags = data[1];
    // Mostly a small limit, which cuts the input anywhere; with the top flag
    // one of up to about 2 KiB, room for several of the widest lanes.
    const std::size_t limit = (flags & 0x80) != 0 ? 64 + std::size_t{data[0]} * 8 : data[0] % 64;
    std::vector<std::size_t> pieces;
    std::size_t at = 2;
    for (; at < size && at < 6; ++at) pieces.push_back(data[at] % 9);
    if (pieces.empty()) pieces.push_back(0);
    std::string raw(reinterpret_cast<const char*>(data) + at, size - at);
    // A CR as the last byte that fits, or as the first that does not.
    if ((flags & 1) != 0 && limit > 0 && limit - 1 < raw.size()) raw[limit - 1] = '\r';
    if ((flags & 2) != 0 && limit < raw.size()) raw[limit] = '\r';

    std::unique_ptr<char[]> buffer(new char[limit + 1]);
    std::memset(buffer.get(), 'U', limit + 1);
    PieceSource source{raw, pieces};
    const TextReadResult got = readTextMode(readPiece, &source, buffer.get(), limit);
    const plain::TextRead expected = plain::readText(raw, limit);

    require(!got.failed, "a read error where there was none");
    require(got.size <= limit, "more than the limit delivered");
    require(buffer[got.size] == '\0', "buffer[size] is not NUL");
    require(std::string(buffer.get(), got.size) == expected.delivered,
            "delivered bytes differ from the plain model");
    require(got.truncated == expected.truncated, "truncation differs from the plain model");
    require(got.textEnd == std::min(expected.delivered.find('\0'), expected.delivered.size()),
            "the first NUL differs from the plain model");

    // Each form of one delivering pass against the byte loop, moving the raw
    // bytes down by a gap the flags choose, with the limit as the room.
    const std::size_t gap = flags >> 2 & 31;
    const std::string placed = std::string(gap, 'G') + raw;
    for (const ReadStops stops : {ReadStops::kWithNul, ReadStops::kWithoutNul}) {
        std::string want = placed;
        const TextRun wanted = deliverTextRunBytes(&want[0], &want[gap], raw.size(), limit, stops);
        for (const TextLanes lanes : kEveryLanes) {
            if (!textLanesAvailable(lanes)) continue;
            std::string moved = placed;
            const TextRun run =
                deliverTextRunBy(lanes, &moved[0], &moved[gap], raw.size(), limit, stops);
            require(run.read == wanted.read && run.delivered == wanted.delivered,
                    "a delivering pass stopped elsewhere than the byte loop");
            require(moved.compare(0, run.delivered, want, 0, run.delivered) == 0,
                    "a delivering pass delivered other bytes than the byte loop");
            require(moved.compare(gap + run.read, std::string::npos, placed, gap + run.read,
                                  std::string::npos) == 0,
                    "a delivering pass changed raw bytes it did not take");
        }
    }
    // The writing side: the raw bytes as text, each form against the byte
    // loop, with the limit as the room.
    std::string wantOut(limit, 'W');
    const TextRun wantRun = expandTextRunBytes(&wantOut[0], raw.data(), raw.size(), limit);
    for (const TextLanes lanes : kEveryLanes) {
        if (!textLanesAvailable(lanes)) continue;
        std::string out(limit, 'W');
        const TextRun run = expandTextRunBy(lanes, &out[0], raw.data(), raw.size(), limit);
        require(run.read == wantRun.read && run.delivered == wantRun.delivered,
                "an expanding pass stopped elsewhere than the byte loop");
        require(out.compare(0, run.delivered, wantOut, 0, run.delivered) == 0,
                "an expanding pass wrote other bytes than the byte loop");
    }
    return 0;
}
