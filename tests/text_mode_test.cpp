// Reading and writing in text mode: CR LF pairs, lone CRs, Ctrl-Z, the read
// limit, and raw requests that split the input anywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "text_mode.h"
#include "text_runs.h"

namespace {

using namespace std::string_literals;

struct ChunkedSource {
    std::string raw;
    std::size_t chunk;           // largest piece handed out per request
    std::size_t failAfter = -1;  // bytes delivered before a read error
    std::size_t pos = 0;
};

std::ptrdiff_t readChunk(void* source, char* buffer, std::size_t capacity) {
    auto& s = *static_cast<ChunkedSource*>(source);
    if (s.pos >= s.failAfter) return -1;
    const std::size_t n = std::min({capacity, s.chunk, s.raw.size() - s.pos, s.failAfter - s.pos});
    s.raw.copy(buffer, n, s.pos);
    s.pos += n;
    return static_cast<std::ptrdiff_t>(n);
}

struct ReadCase {
    std::string raw;
    std::size_t limit;
    std::string delivered;
    bool truncated;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.raw.size() << " raw bytes, limit " << c.limit;
}

class ReadCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadCases, DeliverTranslatedBytesWhateverTheChunks) {
    const ReadCase& c = GetParam();
    for (std::size_t chunk :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{1} << 20}) {
        ChunkedSource source{c.raw, chunk};
        std::vector<char> buffer(c.limit + 1, '\x55');
        const TextReadResult result = readTextMode(readChunk, &source, buffer.data(), c.limit);
        EXPECT_FALSE(result.failed);
        ASSERT_LE(result.size, c.limit);
        EXPECT_EQ(std::string(buffer.data(), result.size), c.delivered) << "chunk " << chunk;
        EXPECT_EQ(buffer[result.size], '\0');
        EXPECT_EQ(result.truncated, c.truncated) << "chunk " << chunk;
        EXPECT_EQ(result.textEnd, std::min(c.delivered.find('\0'), c.delivered.size()))
            << "chunk " << chunk;
    }
}

// The same bytes when they arrive in pieces of a buffer used again for each,
// however small: a CR at a piece's end waits for the next.
TEST_P(ReadCases, DeliverTheSameBytesInPiecesOfAnySize) {
    const ReadCase& c = GetParam();
    for (std::size_t capacity : {std::size_t{2}, std::size_t{3}, std::size_t{5}, std::size_t{64}}) {
        for (std::size_t chunk : {std::size_t{1}, std::size_t{4}, std::size_t{1} << 20}) {
            ChunkedSource source{c.raw, chunk};
            TextReader reader{readChunk, &source, c.limit};
            std::string delivered;
            std::vector<char> piece(capacity);
            while (const std::size_t n = readTextPiece(reader, piece.data(), capacity)) {
                delivered.append(piece.data(), n);
            }
            SCOPED_TRACE("capacity " + std::to_string(capacity) + ", chunk " +
                         std::to_string(chunk));
            EXPECT_TRUE(reader.finished);
            EXPECT_FALSE(reader.failed);
            EXPECT_EQ(delivered, c.delivered);
            EXPECT_EQ(reader.truncated, c.truncated);
            EXPECT_EQ(reader.nulSeen ? reader.textEnd : delivered.size(),
                      std::min(c.delivered.find('\0'), c.delivered.size()));
            EXPECT_EQ(readTextPiece(reader, piece.data(), capacity), 0u) << "a finished reader";
        }
    }
}

const ReadCase kTranslationCases[] = {
    {"", 10, "", false},
    {"plain", 10, "plain", false},
    {"a\r\nb", 10, "a\nb", false},
    {"a\r\r\nb", 10, "a\r\nb", false},
    {"a\rb", 10, "a\rb", false},
    {"a\r", 10, "a\r", false},
    {"\r\n\r\n", 10, "\n\n", false},
    {"\n\r", 10, "\n\r", false},
    {"ab\x1a"
     "cd",
     10, "ab", false},
    {"\x1a", 10, "", false},
    {"a\r\x1a\n", 10, "a\r", false},
    {"a\r\n\x1a\r\n", 10, "a\n", false},
};
INSTANTIATE_TEST_SUITE_P(Translation, ReadCases, ::testing::ValuesIn(kTranslationCases));

const ReadCase kLimitCases[] = {
    {"abcd", 3, "abc", true},
    {"abc", 3, "abc", false},
    {"abc\x1a"
     "d",
     3, "abc", false},
    {"ab\r\n", 3, "ab\n", false},
    {"ab\r\nc", 3, "ab\n", true},
    {"ab\rc", 3, "ab\r", true},
    {"ab\r", 3, "ab\r", false},
    {"ab\r\x1a", 3, "ab\r", false},
    {"abc\r", 3, "abc", true},
    {"abc\r\n", 3, "abc", true},
    {"a\r\n\r\n\r\nb", 3, "a\n\n", true},
    {"\r\n\r\n\r\n", 3, "\n\n\n", false},
    {"x", 0, "", true},
    {"", 0, "", false},
};
INSTANTIATE_TEST_SUITE_P(Limit, ReadCases, ::testing::ValuesIn(kLimitCases));

// NUL bytes are delivered; the first one among them is where the text ends.
const ReadCase kNulCases[] = {
    {"\0"s, 10, "\0"s, false},
    {"ab\0cd\0e"s, 10, "ab\0cd\0e"s, false},
    {"a\r\0\r\n\0"s, 10, "a\r\0\n\0"s, false},
    {"a\r\n\0"s, 10, "a\n\0"s, false},
    {"ab\x1a\0"s, 10, "ab"s, false},
    {"abc\0"s, 3, "abc"s, true},
    {"ab\0"s, 3, "ab\0"s, false},
    {"ab\0\0"s, 3, "ab\0"s, true},
};
INSTANTIATE_TEST_SUITE_P(Nul, ReadCases, ::testing::ValuesIn(kNulCases));

// `length` letters with `mark` in place of those from `at` on.
std::string lettersWith(const std::string& mark, std::size_t at, std::size_t length = 160) {
    std::string text(length, 'x');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 23);
    return text.replace(at, mark.size(), mark);
}

std::vector<TextLanes> availableLanes() {
    std::vector<TextLanes> all;
    for (TextLanes lanes :
         {TextLanes::kWords, TextLanes::kVectors, TextLanes::kWide, TextLanes::kWidest}) {
        if (textLanesAvailable(lanes)) all.push_back(lanes);
    }
    return all;
}

// Where a lane step of any width can meet a mark: every offset in the first
// 40, and those either side of each 64-byte edge that four of the widest
// lanes, taken in one step, reach.
std::vector<std::size_t> markOffsets() {
    std::vector<std::size_t> all;
    for (std::size_t at = 0; at < 40; ++at) all.push_back(at);
    for (std::size_t edge = 64; edge <= 256; edge += 64) {
        for (std::size_t at = edge - 2; at < edge + 2; ++at) all.push_back(at);
    }
    return all;
}

// Every form against the byte loop, over text with CR LF pairs, lone CRs
// and stops at every offset a lane step can meet them, with pairs close
// (several in a lane) and far apart (at most one), in place and moving down
// by gaps shorter and longer than a lane, with the room cut anywhere. Raw
// bytes not yet taken must be left as they were.
TEST(TextRuns, EveryFormDeliversAsTheByteLoop) {
    const std::vector<TextLanes> forms = availableLanes();
    const std::string marks[] = {"\r\n", "\r", "\rx", "\x1a", "\0"s, "\r\r\n", "\n"};
    constexpr std::size_t kSize = 600;
    for (const std::string& mark : marks) {
        for (std::size_t at : markOffsets()) {
            for (std::size_t apart : {9, 70}) {
                std::string raw = lettersWith(mark, at, kSize + 65);  // the longest gap
                for (std::size_t p = at + mark.size() + apart; p + 1 < kSize; p += apart)
                    raw.replace(p, 2, "\r\n");
                for (std::size_t size : {at + 1, at + mark.size(), kSize}) {
                    for (std::size_t room : {std::size_t{3}, std::size_t{130}, kSize}) {
                        for (ReadStops stops : {ReadStops::kWithNul, ReadStops::kWithoutNul}) {
                            for (std::size_t gap : {0, 1, 17, 33, 65}) {
                                std::string expected = raw;
                                const TextRun want = deliverTextRunBytes(
                                    &expected[0], &expected[gap], size, room, stops);
                                for (TextLanes lanes : forms) {
                                    std::string got = raw;
                                    const TextRun run = deliverTextRunBy(lanes, &got[0], &got[gap],
                                                                         size, room, stops);
                                    ASSERT_EQ(run.read, want.read)
                                        << "lanes " << static_cast<int>(lanes) << " at " << at
                                        << " size " << size << " room " << room << " gap " << gap;
                                    ASSERT_EQ(run.delivered, want.delivered) << "at " << at;
                                    EXPECT_EQ(got.substr(0, run.delivered),
                                              expected.substr(0, want.delivered));
                                    EXPECT_EQ(got.substr(gap + run.read),
                                              raw.substr(gap + run.read));
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

// The writing side likewise: LFs alone, in pairs and in runs, at every
// offset a lane step can meet them, close and far apart, with the room cut
// anywhere, also just short of a pair.
TEST(TextRuns, EveryFormExpandsAsTheByteLoop) {
    const std::vector<TextLanes> forms = availableLanes();
    const std::string marks[] = {"\n", "\n\n", "\nx\n", std::string(20, '\n')};
    constexpr std::size_t kSize = 600;
    constexpr std::size_t kOut = 2 * kSize;
    for (const std::string& mark : marks) {
        for (std::size_t at : markOffsets()) {
            for (std::size_t apart : {13, 70}) {
                std::string plain = lettersWith(mark, at, kSize);
                for (std::size_t p = at + mark.size() + apart; p < kSize; p += apart)
                    plain[p] = '\n';
                for (std::size_t room :
                     {std::size_t{1}, std::size_t{2}, at + 1, at + 2, std::size_t{300}, kOut}) {
                    std::string want(kOut, '?');
                    const TextRun wanted = expandTextRunBytes(&want[0], plain.data(), kSize, room);
                    for (TextLanes lanes : forms) {
                        std::string got(kOut, '?');
                        const TextRun run =
                            expandTextRunBy(lanes, &got[0], plain.data(), kSize, room);
                        ASSERT_EQ(run.read, wanted.read) << "lanes " << static_cast<int>(lanes)
                                                         << " at " << at << " room " << room;
                        ASSERT_EQ(run.delivered, wanted.delivered)
                            << "at " << at << " room " << room;
                        EXPECT_EQ(got.substr(0, run.delivered), want.substr(0, wanted.delivered));
                        EXPECT_EQ(got.substr(room), want.substr(room)) << "past the room";
                    }
                }
            }
        }
    }
}

// The program's calls take the widest form: the same as the byte loop.
TEST(TextRuns, TheProgramsCallsAgreeWithTheByteLoop) {
    std::string raw = lettersWith("\r\n\r", 200, 900);
    std::string want = raw;
    const TextRun wanted =
        deliverTextRunBytes(&want[0], &want[0], raw.size(), raw.size(), ReadStops::kWithNul);
    const TextRun run =
        deliverTextRun(&raw[0], &raw[0], raw.size(), raw.size(), ReadStops::kWithNul);
    ASSERT_EQ(run.read, wanted.read);
    EXPECT_EQ(raw.substr(0, run.delivered), want.substr(0, wanted.delivered));
    const std::string plain = lettersWith("\n\n", 300, 900);
    std::string out(2000, '?');
    std::string outWant(2000, '?');
    const TextRun expanded = expandTextRun(&out[0], plain.data(), plain.size(), out.size());
    const TextRun expandWanted =
        expandTextRunBytes(&outWant[0], plain.data(), plain.size(), outWant.size());
    ASSERT_EQ(expanded.delivered, expandWanted.delivered);
    EXPECT_EQ(out, outWant);
}

TEST(TextRead, ReportsReadErrors) {
    for (std::size_t failAfter : {0, 1, 2, 3}) {
        ChunkedSource source{"a\rbcdef", 1, failAfter};
        std::vector<char> buffer(11);
        EXPECT_TRUE(readTextMode(readChunk, &source, buffer.data(), 10).failed) << failAfter;
    }
    // In pieces, what came before the error is delivered, a CR just before
    // it as itself, and the reader is finished.
    const std::pair<std::size_t, std::string> inPieces[] = {{0, ""}, {2, "a\r"}, {3, "a\rb"}};
    for (const auto& [failAfter, before] : inPieces) {
        ChunkedSource source{"a\rbcdef", 1, failAfter};
        TextReader reader{readChunk, &source, 10};
        std::string delivered;
        char piece[2];
        while (const std::size_t n = readTextPiece(reader, piece, sizeof piece)) {
            delivered.append(piece, n);
        }
        EXPECT_TRUE(reader.failed && reader.finished) << failAfter;
        EXPECT_EQ(delivered, before) << failAfter;
    }
}

struct Sink {
    std::string bytes;
    std::size_t requests = 0;
    bool fail = false;
};

bool writeToSink(void* sink, const char* data, std::size_t size) {
    auto& s = *static_cast<Sink*>(sink);
    ++s.requests;
    s.bytes.append(data, size);
    return !s.fail;
}

TEST(TextWrite, WritesEveryLineFeedAsCrLf) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"no line feed", "no line feed"},
        {"a\nb", "a\r\nb"},
        {"\n\n", "\r\n\r\n"},
        {"\r\n", "\r\r\n"},
        {"end\n", "end\r\n"},
        // Line feeds in a row, also where the scratch fills between them.
        {"\n\n\n\n\n", "\r\n\r\n\r\n\r\n\r\n"},
        {"a\n\n\nb\n\n", "a\r\n\r\n\r\nb\r\n\r\n"},
    };
    for (const auto& [text, stored] : cases) {
        for (std::size_t scratchSize : {2, 3, 5, 64}) {
            Sink sink;
            std::vector<char> scratch(scratchSize);
            ASSERT_TRUE(writeTextMode(writeToSink, &sink, text.data(), text.size(), scratch.data(),
                                      scratch.size()));
            EXPECT_EQ(sink.bytes, stored) << "scratch " << scratchSize;
        }
    }
}

TEST(TextWrite, UsesOneRequestWhenTheScratchIsLargeEnough) {
    Sink sink;
    const std::string text = "one\ntwo\nthree\n";
    std::vector<char> scratch(2 * text.size());
    ASSERT_TRUE(writeTextMode(writeToSink, &sink, text.data(), text.size(), scratch.data(),
                              scratch.size()));
    EXPECT_EQ(sink.requests, 1u);
}

TEST(TextWrite, ReportsAFailedWrite) {
    Sink sink;
    sink.fail = true;
    std::vector<char> scratch(4);
    EXPECT_FALSE(
        writeTextMode(writeToSink, &sink, "a\nbcdefgh", 9, scratch.data(), scratch.size()));
}

}  // namespace
