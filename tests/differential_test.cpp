// Compares the fast filter, decoder and text-mode code with the plain model in
// tests/reference on many generated inputs, and runs the documented edge
// cases against both, so that a misreading on either side shows up. Every
// buffer handed to the fast code has exactly the size its interface promises,
// so that a sanitizer build catches any byte read or written beyond it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "entities.h"
#include "markup_filter.h"
#include "piece_feed.h"
#include "reference/plain_rules.h"
#include "text_mode.h"

namespace {

using Bytes = std::unique_ptr<char[]>;

// A heap copy of `s` plus a terminating NUL, and not one byte more.
Bytes exactCopy(const std::string& s) {
    Bytes copy(new char[s.size() + 1]);
    std::memcpy(copy.get(), s.data(), s.size());
    copy[s.size()] = '\0';
    return copy;
}

// The text in `buf` up to its NUL; a missing NUL is a failure of its own.
std::string terminatedText(const char* buf, std::size_t capacity) {
    const char* end = std::find(buf, buf + capacity, '\0');
    if (end == buf + capacity) ADD_FAILURE() << "output is not terminated";
    return std::string(buf, end);
}

// Printable form of a byte string for failure messages; the middle of a
// long one is left out so that a failure stays readable.
std::string show(const std::string& s) {
    static const char kHex[] = "0123456789ABCDEF";
    if (s.size() > 160)
        return show(s.substr(0, 80)) + "...(" + std::to_string(s.size()) + " bytes)..." +
               show(s.substr(s.size() - 80));
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out + "\"";
}

// ---- the fast code, called the way the driver calls it -------------------

// Either form of the filter; the length form must also return the length of
// the text it left.
std::string fastFilter(const std::string& input, bool withLength = false) {
    Bytes in = exactCopy(input);
    const std::size_t n = std::strlen(in.get());
    Bytes out(new char[n + 1]);
    std::memset(out.get(), 'U', n + 1);
    const std::size_t length = withLength ? filterMarkup(in.get(), n, out.get()) : 0;
    if (!withLength) filterMarkup(in.get(), out.get());
    std::string text = terminatedText(out.get(), n + 1);
    if (withLength) {
        EXPECT_EQ(length, text.size()) << "returned length, input " << show(input);
    }
    return text;
}

std::string fastDecode(const std::string& text) {
    Bytes buf = exactCopy(text);
    decodeEntities(buf.get());
    return terminatedText(buf.get(), text.size() + 1);
}

// The length form gets the text up to its first NUL, as its interface asks.
std::string fastDecodeWithLength(const std::string& text) {
    const std::string head = text.substr(0, text.find('\0'));
    Bytes buf = exactCopy(head);
    const std::size_t length = decodeEntities(buf.get(), head.size());
    EXPECT_LE(length, head.size());
    if (length > head.size()) return "<grew>";
    EXPECT_EQ(buf[length], '\0') << "not terminated, text " << show(text);
    return std::string(buf.get(), length);
}

// A raw source that hands out `raw` in pieces of `chunk` bytes (0: a random
// number from 1 to what was asked), and fails with -1 at byte `failAt`.
struct ChunkSource {
    const std::string& raw;
    std::size_t chunk;
    std::mt19937* rng;
    std::size_t failAt = std::numeric_limits<std::size_t>::max();
    std::size_t pos = 0;
};

std::ptrdiff_t readChunk(void* source, char* buffer, std::size_t capacity) {
    ChunkSource& s = *static_cast<ChunkSource*>(source);
    if (s.pos == s.failAt) return -1;
    std::size_t n = std::min(capacity, std::min(s.raw.size(), s.failAt) - s.pos);
    if (s.chunk != 0) n = std::min(n, s.chunk);
    if (s.chunk == 0 && n > 1) n = 1 + (*s.rng)() % n;  // fewer than asked
    std::memcpy(buffer, s.raw.data() + s.pos, n);
    s.pos += n;
    return static_cast<std::ptrdiff_t>(n);
}

struct FastRead {
    std::string delivered;
    TextReadResult result;
};

FastRead fastRead(ChunkSource& source, std::size_t limit) {
    Bytes buf(new char[limit + 1]);
    std::memset(buf.get(), 'U', limit + 1);
    const TextReadResult r = readTextMode(readChunk, &source, buf.get(), limit);
    EXPECT_LE(r.size, limit);
    if (r.size > limit) return {"<too long>", r};
    EXPECT_EQ(buf[r.size], '\0') << "buffer[size] must be NUL";
    return {std::string(buf.get(), r.size), r};
}

// A sink that collects what reaches the file and fails on write call `failOn`
// (counting from 1) and every call after it; 0 never fails.
struct Sink {
    std::string file;
    int failOn = 0;
    int calls = 0;
};

bool writeSink(void* sink, const char* data, std::size_t size) {
    Sink& s = *static_cast<Sink*>(sink);
    ++s.calls;
    if (s.failOn != 0 && s.calls >= s.failOn) return false;
    s.file.append(data, size);
    return true;
}

bool fastWrite(Sink& sink, const std::string& text, std::size_t scratchSize) {
    Bytes scratch(new char[scratchSize]);
    return writeTextMode(writeSink, &sink, text.data(), text.size(), scratch.get(), scratchSize);
}

// ---- generated inputs ------------------------------------------------------

const char* const kTagPieces[] = {
    "<p",        "<P>",    "<tr",      "<td>",  "<br>",     "<hr/>",   "</title>", "<script>",
    "</SCRIPT>", "<table", "</table>", "<pre>", "<!-- -->", "<",       ">",        "<th>",
    "</p>",      "<scrip", "</scrip",  "<t",    "</",       "<track>", "<param>",  "<b>"};
const char* const kTextPieces[] = {"&amp", "&AMP;", "&#1600;", "&#16;", "&zzzzzz;",  "&#xA0;",
                                   "&",    "&#",    "&#160",   "&nbsp", "&amp;amp;", "1 2",
                                   "1  2", " ",     "  ",      "7",     "0",         "a",
                                   "word", "x y",   "\r\n",    "\t"};

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    std::mt19937& rng() { return rng_; }
    std::size_t below(std::size_t n) { return n == 0 ? 0 : rng_() % n; }

    // HTML-ish bytes: 0 to ~300 long, now and then several KB, sometimes
    // with a NUL inside. Cutting at the target length leaves partial
    // prefixes and references right before the terminator.
    std::string html() {
        const std::size_t target = below(50) == 0 ? 2000 + below(6000) : below(301);
        std::string s;
        while (s.size() < target) s += piece();
        s.resize(target);
        if (!s.empty() && below(10) == 0) s[below(s.size())] = '\0';
        return s;
    }

    // Raw file bytes for the text-mode rules: mostly CR, LF, Ctrl-Z and NUL.
    std::string raw() {
        static const char kBytes[] = {'\r', '\r', '\n', '\x1A', '\0', 'a', 'b'};
        const std::size_t length = below(30) == 0 ? 5000 : below(41);
        std::string s;
        for (std::size_t i = 0; i < length; ++i)
            s += below(8) == 0 ? static_cast<char>(below(256)) : kBytes[below(sizeof kBytes)];
        return s;
    }

private:
    std::string piece() {
        switch (below(8)) {
            case 0: return mixCase(kTagPieces[below(std::size(kTagPieces))]);
            case 1: return plain::entityTable()[below(plain::entityTable().size())].first;
            case 2: return kTextPieces[below(std::size(kTextPieces))];
            case 3: return std::string(1, static_cast<char>(1 + below(0x1F)));     // control bytes
            case 4: return std::string(1, static_cast<char>(0x7F + below(0x81)));  // 0x7F..0xFF
            case 5: return std::string(1, static_cast<char>('0' + below(10)));
            case 6: return " ";
            default: return std::string(1, static_cast<char>(0x20 + below(0x5F)));
        }
    }

    std::string mixCase(std::string s) {
        for (char& c : s)
            if (std::isalpha(static_cast<unsigned char>(c)) && below(3) == 0)
                c = static_cast<char>(c ^ 0x20);
        return s;
    }

    std::mt19937 rng_;
};

// The limits worth trying for `raw`: small ones, those around the raw and
// the delivered length, and those that put a CR right at the limit.
std::set<std::size_t> limitsFor(const std::string& raw) {
    const std::size_t delivered = plain::readText(raw, raw.size()).delivered.size();
    std::set<std::size_t> limits = {0, 1, 2, 3, 5};
    for (std::size_t length : {raw.size(), delivered})
        for (std::size_t l : {length - 1, length, length + 1})
            if (l <= raw.size() + 1) limits.insert(l);
    for (std::size_t j = 0; j < raw.size(); ++j) {
        const bool nearAnEnd = j < 50 || j + 50 >= raw.size();  // keeps big inputs quick
        if (raw[j] == '\r' && nearAnEnd) {
            const std::size_t before = plain::readText(raw.substr(0, j), j).delivered.size();
            limits.insert(before);
            limits.insert(before + 1);
        }
    }
    return limits;
}

constexpr int kMaxReported = 10;  // enough to see a pattern, not a flood

// ---- differential tests ----------------------------------------------------

TEST(Differential, EntityTableHasTheDocumentedRowsInOrder) {
    const auto& table = plain::entityTable();
    ASSERT_EQ(table.size(), kEntityCount);
    for (std::size_t i = 0; i < kEntityCount; ++i) {
        EXPECT_EQ(kEntityTable[i].name, table[i].first) << "row " << i + 1;
        EXPECT_EQ(kEntityTable[i].code, table[i].second) << "row " << i + 1;
    }
}

TEST(Differential, FilterMatchesPlainModel) {
    Generator gen(20240601);
    int reported = 0;
    for (int n = 0; n < 4000 && reported < kMaxReported; ++n) {
        const std::string input = gen.html();
        const std::string expected = plain::filter(input);
        const std::string got = fastFilter(input);
        const std::string gotWithLength = fastFilter(input, true);
        EXPECT_EQ(got, expected) << "input " << show(input);
        EXPECT_EQ(gotWithLength, expected) << "length form, input " << show(input);
        if (got != expected || gotWithLength != expected) ++reported;
    }
}

// ---- every block path -------------------------------------------------------

struct NamedPath {
    BlockPath path;
    const char* name;
};

const NamedPath kPaths[] = {{BlockPath::kScalar, "Scalar"},
                            {BlockPath::kPortable, "Portable"},
                            {BlockPath::kSse2, "Sse2"},
                            {BlockPath::kSsse3, "Ssse3"},
                            {BlockPath::kAvx2, "Avx2"},
                            {BlockPath::kAvx512, "Avx512"},
                            {BlockPath::kAvx512Compress, "Avx512Compress"}};

void PrintTo(const NamedPath& p, std::ostream* os) { *os << p.name; }

std::string filterUsing(BlockPath path, const std::string& input) {
    Bytes in = exactCopy(input);
    const std::size_t n = std::strlen(in.get());
    Bytes out(new char[n + 1]);
    std::memset(out.get(), 'U', n + 1);
    const std::size_t length = filterMarkupUsing(path, in.get(), n, out.get());
    std::string text = terminatedText(out.get(), n + 1);
    EXPECT_EQ(length, text.size()) << "returned length, input " << show(input);
    return text;
}

// The way the program calls it: one buffer, the input kFilterLead bytes in
// and the output at its start. The buffer has exactly that room.
std::string filterInPlaceUsing(BlockPath path, const std::string& input) {
    const std::size_t n = std::min(input.size(), input.find('\0'));
    Bytes buffer(new char[kFilterLead + n + 1]);
    std::memset(buffer.get(), 'U', kFilterLead);
    std::memcpy(buffer.get() + kFilterLead, input.data(), n);
    buffer[kFilterLead + n] = '\0';
    const std::size_t length = filterMarkupUsing(path, buffer.get() + kFilterLead, n, buffer.get());
    std::string text = terminatedText(buffer.get(), kFilterLead + n + 1);
    EXPECT_EQ(length, text.size()) << "returned length in place, input " << show(input);
    return text;
}

std::string filterInPiecesUsing(BlockPath path, const std::string& input,
                                const std::vector<std::size_t>& sizes, bool emptyLast = false,
                                std::size_t decodeSpan = kDecodeSpan) {
    const PieceFeed fed = feedInPieces(path, input, sizes, emptyLast, decodeSpan);
    EXPECT_EQ(fed.fault, nullptr) << fed.fault << ", input " << show(input);
    return fed.text;
}

// One to `most` generated pages run together, each followed by `tail`, up to
// the first NUL.
std::string joinedPages(Generator& gen, std::size_t most, const std::string& tail) {
    std::string input;
    const std::size_t parts = 1 + gen.below(most);
    for (std::size_t i = 0; i < parts; ++i) input += gen.html() + tail;
    input.erase(std::find(input.begin(), input.end(), '\0'), input.end());
    return input;
}

// References whose ends meet tags, blanks between digits and the edges of
// what is decoded so far.
const std::string kReferenceTail = "x&amp;y&nbsp;1 2&nbsp;<b> &#16 0;&lt<i>;";

class EveryPath : public ::testing::TestWithParam<NamedPath> {
protected:
    void SetUp() override {
        if (!blockPathAvailable(GetParam().path)) GTEST_SKIP() << "not on this processor";
    }
};

// Inputs long enough for many blocks: every piece lands at every offset of a
// block sooner or later.
TEST_P(EveryPath, MatchesPlainModelOnLongInputs) {
    Generator gen(77);
    int reported = 0;
    for (int n = 0; n < 300 && reported < kMaxReported; ++n) {
        const std::string input = joinedPages(gen, 8, "");
        const std::string expected = plain::filter(input);
        const std::string got = filterUsing(GetParam().path, input);
        const std::string gotInPlace = filterInPlaceUsing(GetParam().path, input);
        EXPECT_EQ(got, expected) << "input " << show(input);
        EXPECT_EQ(gotInPlace, expected) << "in place, input " << show(input);
        if (got != expected || gotInPlace != expected) ++reported;
    }
}

// Each snippet at every offset across three blocks, between plain words and
// digits, so that it meets every block edge: a tag, a reference, a blank or
// a digit split between two blocks, a "<" in the last bytes of a block, a
// script start whose ">" is the block's last byte.
const char* const kEdgeSnippets[] = {
    "<p>", "<td>x", "1 2", "  ", " <br> ", "<script>x</script>y", "</SCRIPT",
    "<table><p>a</table><p>", "a > b", "<a<b>c", "\r\n 3", "&amp;", "<!-- <b> -->", "<tr",
    "9 <i>9</i> 9", "<p><p> <p>", "</title>  t", "<hr>\t<BR>",
    // References whose names a tag, a control byte or a blank between digits
    // cut, a blank decoded before a tag and then a blank, a reference that
    // decodes to another's "&".
    "&nbsp;<b> x", "&#16 0;", "&am<i>p;", "&a\x01mp;", "&amp;amp;", "R& D &lt", "&nbsp; &#160;",
    // Short effect tags in either case, in and out of a table, beside tags
    // that only look like them, and the tags that change a state.
    "<TABLE><Br><Td><tR><hR><P></TABLE><bR>", "</td></tr><th><tbody><time>", "<pre><param><b>",
    "<title>t</TITLE><tab>"};

TEST_P(EveryPath, SnippetsAtEveryBlockOffset) {
    const std::string fillers[] = {"word ", "12 34 ", "<b>bold</b> ", "\x01"};
    for (const std::string& filler : fillers) {
        for (const char* snippet : kEdgeSnippets) {
            for (std::size_t offset = 0; offset < 3 * 64; ++offset) {
                std::string input;
                while (input.size() < offset) input += filler;
                input.resize(offset);
                input += snippet;
                while (input.size() < offset + 200) input += filler;
                const std::string expected = plain::filter(input);
                ASSERT_EQ(filterUsing(GetParam().path, input), expected) << "input " << show(input);
                ASSERT_EQ(filterInPlaceUsing(GetParam().path, input), expected)
                    << "in place, input " << show(input);
            }
        }
    }
}

// The block paths stop to decode what they wrote: with short spans the stops
// fall everywhere, also inside references, tags and scripts, and every
// reference meets the edge of what is decoded so far.
TEST_P(EveryPath, DecodeStopsAnywhere) {
    Generator gen(91);
    for (const std::size_t span : {1, 7, 64, 65, 200, 4096}) {
        for (int n = 0; n < 60; ++n) {
            const std::string input = joinedPages(gen, 12, kReferenceTail);
            Bytes in = exactCopy(input);
            Bytes out(new char[input.size() + 1]);
            const std::size_t length =
                filterMarkupInSpans(GetParam().path, in.get(), input.size(), out.get(), span);
            ASSERT_EQ(std::string(out.get(), length), plain::filter(input))
                << "span " << span << ", input " << show(input);
            ASSERT_EQ(out[length], '\0');
        }
    }
}

// Input in pieces: every piece edge, and the lookahead before it, falls
// inside tags, scripts, references, blank runs and digits somewhere. A piece
// of one byte, pieces shorter than the lookahead, pieces around a block's
// reach and sizes that change from piece to piece.
TEST_P(EveryPath, PiecesEndAnywhere) {
    Generator gen(1207);
    const std::vector<std::size_t> sizeRuns[] = {{1},       {7},  {16},   {17, 3},        {64},
                                                 {65, 200}, {97}, {4096}, {300, 1, 0, 40}};
    for (int n = 0; n < 40; ++n) {
        const std::string input = joinedPages(gen, 12, kReferenceTail + "<a\n title='>'>");
        const std::string expected = plain::filter(input);
        for (const std::vector<std::size_t>& sizes : sizeRuns) {
            ASSERT_EQ(filterInPiecesUsing(GetParam().path, input, sizes, n % 2 == 1), expected)
                << "piece " << sizes[0] << ", input " << show(input);
        }
        ASSERT_EQ(filterInPiecesUsing(GetParam().path, input, {150}, false, 7), expected)
            << "short decoding spans, input " << show(input);
    }
}

// Each snippet at every offset from a piece edge.
TEST_P(EveryPath, SnippetsAcrossPieceEdges) {
    const std::string fillers[] = {"word ", "12 34 ", "<b>bold</b> "};
    for (const std::string& filler : fillers) {
        for (const char* snippet : kEdgeSnippets) {
            for (std::size_t offset = 0; offset < 100; ++offset) {
                std::string input;
                while (input.size() < offset) input += filler;
                input.resize(offset);
                input += snippet;
                while (input.size() < offset + 150) input += filler;
                ASSERT_EQ(filterInPiecesUsing(GetParam().path, input, {100}), plain::filter(input))
                    << "input " << show(input);
            }
        }
    }
}

// The filter reads nothing at or past input[length]: the input has no
// terminator and ends right before a page that cannot be read (on Windows,
// at the end of a heap block of its exact size, which AddressSanitizer
// watches elsewhere). Every ending the filter looks ahead from, at every
// block offset.
#if defined(_WIN32)
std::string filterUnterminatedUsing(BlockPath path, const std::string& input) {
    Bytes in(new char[input.size() + 1]);
    std::memcpy(in.get(), input.data(), input.size());
    Bytes out(new char[input.size() + 1]);
    const std::size_t length = filterMarkupUsing(path, in.get(), input.size(), out.get());
    return std::string(out.get(), length);
}
#else
std::string filterUnterminatedUsing(BlockPath path, const std::string& input) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t pages = (input.size() + page - 1) / page + 1;
    void* const mapped =
        mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(mapped, MAP_FAILED);
    if (mapped == MAP_FAILED) return {};
    char* const guard = static_cast<char*>(mapped) + (pages - 1) * page;
    EXPECT_EQ(mprotect(guard, page, PROT_NONE), 0);
    char* const in = guard - input.size();
    std::memcpy(in, input.data(), input.size());
    Bytes out(new char[input.size() + 1]);
    const std::size_t length = filterMarkupUsing(path, in, input.size(), out.get());
    munmap(mapped, pages * page);
    return std::string(out.get(), length);
}
#endif

TEST_P(EveryPath, ReadsNothingPastTheLength) {
    const std::string endings[] = {"<",    "<t",    "<tr",  "<p",   "<scrip", "1 ", "1 2",
                                   "1 2 ", "9 9 9", "a 2 ", " ",    "&amp",   "&",  "x\x01",
                                   "<b",   "</",    "1  ",  "<!--", "2 <"};
    const std::string fillers[] = {"word ", "12 34 ", "<b>x</b>"};
    for (const std::string& filler : fillers) {
        for (const std::string& ending : endings) {
            for (std::size_t offset = 0; offset < 2 * 64 + 20; ++offset) {
                std::string input;
                while (input.size() < offset) input += filler;
                input.resize(offset);
                input += ending;
                ASSERT_EQ(filterUnterminatedUsing(GetParam().path, input), plain::filter(input))
                    << "input " << show(input);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, EveryPath, ::testing::ValuesIn(kPaths),
                         [](const ::testing::TestParamInfo<NamedPath>& info) {
                             return std::string(info.param.name);
                         });

TEST(Differential, DecoderMatchesPlainModel) {
    Generator gen(7);
    int reported = 0;
    for (int n = 0; n < 4000 && reported < kMaxReported; ++n) {
        const std::string text = gen.html();
        const std::string expected = plain::decode(text);
        const std::string got = fastDecode(text);
        const std::string gotWithLength = fastDecodeWithLength(text);
        EXPECT_EQ(got, expected) << "text " << show(text);
        EXPECT_EQ(gotWithLength, expected) << "length form, text " << show(text);
        if (got != expected || gotWithLength != expected) ++reported;
    }
}

const std::size_t kChunks[] = {1, 2, 3, 7, 4096, std::numeric_limits<std::size_t>::max(), 0};

TEST(Differential, TextReadMatchesPlainModelForAnyChunkingAndLimit) {
    Generator gen(99);
    int reported = 0;
    for (int n = 0; n < 400 && reported < kMaxReported; ++n) {
        const std::string raw = gen.raw();
        for (std::size_t limit : limitsFor(raw))
            for (std::size_t chunk : kChunks) {
                const plain::TextRead expected = plain::readText(raw, limit);
                ChunkSource source{raw, chunk, &gen.rng()};
                const FastRead got = fastRead(source, limit);
                const bool same = got.delivered == expected.delivered &&
                                  got.result.truncated == expected.truncated && !got.result.failed;
                EXPECT_TRUE(same) << "raw " << show(raw) << " limit " << limit << " chunk " << chunk
                                  << "\n  plain " << show(expected.delivered) << " truncated "
                                  << expected.truncated << "\n  fast  " << show(got.delivered)
                                  << " truncated " << got.result.truncated << " failed "
                                  << got.result.failed;
                if (!same && ++reported >= kMaxReported) return;
            }
    }
}

// A read error counts as the end of the input: what came before it is
// delivered as usual, and the error is reported.
TEST(Differential, TextReadReportsReadErrors) {
    Generator gen(5);
    int reported = 0;
    for (int n = 0; n < 300 && reported < kMaxReported; ++n) {
        std::string raw = gen.raw();
        std::replace(raw.begin(), raw.end(), '\x1A', 'z');  // the error must be reached
        const std::size_t failAt = gen.below(raw.size() + 1);
        const std::size_t chunk = kChunks[gen.below(std::size(kChunks))];
        ChunkSource source{raw, chunk, &gen.rng(), failAt};
        const FastRead got = fastRead(source, raw.size() + 1);
        const std::string expected = plain::readText(raw.substr(0, failAt), raw.size()).delivered;
        EXPECT_TRUE(got.result.failed) << "raw " << show(raw) << " fails at " << failAt;
        EXPECT_EQ(got.delivered, expected)
            << "raw " << show(raw) << " fails at " << failAt << " chunk " << chunk;
        if (!got.result.failed || got.delivered != expected) ++reported;
    }
}

TEST(Differential, TextWriteMatchesPlainModelForAnyScratchSize) {
    Generator gen(11);
    for (int n = 0; n < 500; ++n) {
        const std::string text = n % 2 ? gen.raw() : gen.html();
        for (std::size_t scratch : {2, 3, 5, 64, 1 << 16}) {
            Sink sink;
            EXPECT_TRUE(fastWrite(sink, text, scratch));
            EXPECT_EQ(sink.file, plain::writeText(text))
                << "text " << show(text) << " scratch " << scratch;
        }
    }
}

TEST(Differential, TextWriteReportsAFailingSink) {
    const std::string text = "line one\nline two\n\n\nend";
    for (int failOn : {1, 2, 3})
        for (std::size_t scratch : {2, 3, 5}) {
            Sink sink;
            sink.failOn = failOn;
            EXPECT_FALSE(fastWrite(sink, text, scratch)) << "fail on " << failOn;
        }
}

// ---- documented edge cases, against both sides -------------------------------

struct TextCase {
    const char* what;
    std::string input;
    std::string expected;
};

const TextCase kFilterCases[] = {
    {"paragraph before text", "<p>Hello", "\nHello"},
    {"two breaks", "<br><br>Hello", "\n\nHello"},
    {"leading blanks after tags", "  <br>  Hello", "\nHello"},
    {"trailing blank stays", "Hi ", "Hi "},
    {"line break joins words", "one\r\ntwo", "onetwo"},
    {"only tags", "<html><body></body></html>", ""},
    {"only row and cell tags", "<tr><td>", "\n\t"},
    {"empty input", "", ""},
    {"title end", "Title</title>", "Title\n"},
    {"table state", "<table><tr><td>a<br>b<hr>c<p>d</title>e</table><br>f", "\n\tabcde\nf"},
    {"mixed case", "<P>Hi<bR>x<TaBle><Td>y</TABLE><Hr>", "\nHi\nx\ty\n"},
    {"prefixes", "<pre>a<param>b<track>c", "\na\nb\nc"},
    {"six bytes of script", "<scripty>gone</scrip>d", "d"},
    {"tags that yield nothing", "<th>a</p>b</tr>c</td>d", "abcd"},
    {"break inside script", "<script>a<br>b</script>c", "\nc"},
    {"unterminated tag", "a<b c d", "a"},
    {"comment", "a<!-- c -->t", "at"},
    {"comment holding a tag", "a<!-- <b> -->t", "a -->t"},
    {"greater-than outside a tag", "a > b", "a > b"},
    {"less-than in running text", "a < b > c", "a c"},
    {"less-than in script code", "<script>if(a<b)x;</script>lost</script>z", "z"},
    {"blank between digits", "1 000", "1000"},
    {"two blanks between digits", "1  2", "1 2"},
    {"blank between digit and tag", "1 <b>2", "1 2"},
    {"raw neighbours decide", "1<b> 2 3\t 4 5 ", "1 23 45 "},
    {"blank after a break", "one <br> two", "one \ntwo"},
    {"high bytes", "\x7F \xFF a", "\x7F \xFF a"},
    {"NUL ends the text", std::string("ab\0<p>cd", 8), "ab"},
    {"road of one file", "<p>Price:&nbsp;1 000&euro;</p>", "\nPrice: 1000&euro;"},
    {"reference split by a tag", "&am<b>p;", "&"},
    {"reference split by a line break", "&am\r\np;", "&"},
};

TEST(EdgeCases, Filter) {
    for (const TextCase& c : kFilterCases) {
        EXPECT_EQ(plain::filter(c.input), c.expected) << "plain model: " << c.what;
        EXPECT_EQ(fastFilter(c.input), c.expected) << "fast: " << c.what;
        EXPECT_EQ(fastFilter(c.input, true), c.expected) << "fast, length form: " << c.what;
    }
}

const TextCase kDecodeCases[] = {
    {"two non-breaking spaces", "&nbsp;&nbsp;", "  "},
    {"escaped bold tag", "&lt;b&gt;", "<b>"},
    {"one level deep", "&amp;amp;", "&amp;"},
    {"byte after a substitution", "&amp;&lt;", "&<"},
    {"lone ampersand", "&", "&"},
    {"ampersand at the end", "a&", "a&"},
    {"unknown name", "&euro;", "&euro;"},
    {"decimal 160", "&#160;", " "},
    {"decimal 161 and 255", "&#161;&#255;", "\xA1\xFF"},
    {"letter case", "&AElig;&aelig;&ETH;&eth;", "\xC6\xE6\xD0\xF0"},
    {"other letter case", "&Aelig;&AMP;&Eth;", "&Aelig;&AMP;&Eth;"},
    {"no semicolon", "&amp &nbsp", "&amp &nbsp"},
    {"numbers out of range", "&#1600;&#16;&#0161;&#159;", "&#1600;&#16;&#0161;&#159;"},
    {"hexadecimal", "&#xA0;", "&#xA0;"},
    {"empty", "", ""},
    {"no ampersand", "plain words", "plain words"},
    {"NUL ends the text", std::string("&lt;\0&gt;", 9), "<"},
};

TEST(EdgeCases, Decoder) {
    for (const TextCase& c : kDecodeCases) {
        EXPECT_EQ(plain::decode(c.input), c.expected) << "plain model: " << c.what;
        EXPECT_EQ(fastDecode(c.input), c.expected) << "fast: " << c.what;
        EXPECT_EQ(fastDecodeWithLength(c.input), c.expected) << "fast, length form: " << c.what;
    }
}

struct ReadCase {
    std::string raw;
    std::size_t limit;
    std::string delivered;
    bool truncated;
};

const ReadCase kReadCases[] = {
    {"a\r\nb", 10, "a\nb", false},  {"a\r\r\nb", 10, "a\r\nb", false},
    {"ab\r", 10, "ab\r", false},    {"ab\r", 3, "ab\r", false},
    {"ab\r", 2, "ab", true},        {"ab\r\ncd", 3, "ab\n", true},
    {"ab\r\n", 3, "ab\n", false},   {"ab\r\n", 4, "ab\n", false},
    {"ab\r\x1A", 2, "ab", true},    {"ab\x1A", 2, "ab", false},
    {"a\x1A\r\nb", 10, "a", false}, {std::string("a\0b", 3), 10, std::string("a\0b", 3), false},
    {"abc", 0, "", true},           {"", 0, "", false},
};

TEST(EdgeCases, TextRead) {
    std::mt19937 rng(1);
    for (const ReadCase& c : kReadCases) {
        const plain::TextRead model = plain::readText(c.raw, c.limit);
        EXPECT_EQ(model.delivered, c.delivered) << "plain model, raw " << show(c.raw);
        EXPECT_EQ(model.truncated, c.truncated) << "plain model, raw " << show(c.raw);
        for (std::size_t chunk : kChunks) {
            ChunkSource source{c.raw, chunk, &rng};
            const FastRead got = fastRead(source, c.limit);
            EXPECT_EQ(got.delivered, c.delivered)
                << "fast, raw " << show(c.raw) << " chunk " << chunk << " limit " << c.limit;
            EXPECT_EQ(got.result.truncated, c.truncated)
                << "fast, raw " << show(c.raw) << " chunk " << chunk;
            EXPECT_FALSE(got.result.failed);
        }
    }
}

// A read error counts as the end of the file, so a CR right before it is a
// CR that no LF follows, and is delivered.
struct ReadErrorCase {
    std::string raw;
    std::size_t failAt;
    std::string delivered;
};

const ReadErrorCase kReadErrorCases[] = {
    {"ab", 1, "a"}, {"a\r\nb", 3, "a\n"}, {"", 0, ""}, {"\r", 1, "\r"}, {"a\r\nb", 2, "a\r"},
};

TEST(EdgeCases, TextReadError) {
    std::mt19937 rng(3);
    for (const ReadErrorCase& c : kReadErrorCases) {
        EXPECT_EQ(plain::readText(c.raw.substr(0, c.failAt), 100).delivered, c.delivered);
        for (std::size_t chunk : kChunks) {
            ChunkSource source{c.raw, chunk, &rng, c.failAt};
            const FastRead got = fastRead(source, 100);
            EXPECT_TRUE(got.result.failed) << "raw " << show(c.raw) << " chunk " << chunk;
            EXPECT_EQ(got.delivered, c.delivered)
                << "raw " << show(c.raw) << " fails at " << c.failAt << " chunk " << chunk;
        }
    }
}

// The whole road through the file rules: a "<tr" line feed reaches the file
// as CR LF, input CR LF pairs arrive as LF, and Ctrl-Z ends the input.
TEST(EdgeCases, FileToFile) {
    const std::string raw = "<tr>a\r\nb&lt;<p>\r\n\x1A<p>lost";
    const std::string file = "\r\nab<\r\n";
    EXPECT_EQ(plain::writeText(plain::filter(plain::readText(raw, 1000).delivered)), file);

    std::mt19937 rng(2);
    ChunkSource source{raw, 3, &rng};
    const std::string read = fastRead(source, 1000).delivered;
    Sink sink;
    EXPECT_TRUE(fastWrite(sink, fastFilter(read), 5));
    EXPECT_EQ(sink.file, file);
}

}  // namespace
