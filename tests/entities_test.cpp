// The entity decoder: what is decoded, what is left alone, and that every
// row of the table can be reached.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "entities.h"

namespace {

// The moves of plain text this build and processor have.
std::vector<DecodeMoves> availableMoves() {
    std::vector<DecodeMoves> moves;
    for (const DecodeMoves m : {DecodeMoves::kLibrary, DecodeMoves::kAvx2, DecodeMoves::kAvx512}) {
        if (decodeMovesAvailable(m)) moves.push_back(m);
    }
    return moves;
}

// Decodes `text` in steps while it is "written" `stride` bytes at a time,
// as the filter does, from the byte at `first` on. What is not written yet
// is ";", which would complete a name if the decoder looked at it.
std::string decodedInSteps(const std::string& text, std::size_t first, std::size_t stride,
                           DecodeMoves moves) {
    std::string buffer(text.size() + 1, ';');
    DecodeCursor cursor;
    std::size_t ready = 0;
    for (std::size_t next = first; next < text.size(); next += stride) {
        text.copy(&buffer[ready], next - ready, ready);
        ready = next;
        decodeEntitiesReady(&buffer[0], ready, cursor, moves);
        EXPECT_LE(cursor.write, cursor.read);
    }
    text.copy(&buffer[ready], text.size() - ready, ready);
    buffer[text.size()] = '\0';
    const std::size_t length = decodeEntitiesFinish(&buffer[0], text.size(), cursor, moves);
    EXPECT_EQ(buffer[length], '\0');
    return buffer.substr(0, length);
}

std::string decodedWith(const std::string& text, DecodeMoves moves) {
    std::string buffer = text + '\0';
    DecodeCursor cursor;
    const std::size_t length = decodeEntitiesFinish(&buffer[0], text.size(), cursor, moves);
    EXPECT_EQ(buffer[length], '\0');
    return buffer.substr(0, length);
}

std::string decoded(const std::string& text) {
    std::string buffer = text + '\0';
    const std::size_t length = decodeEntities(&buffer[0], text.size());
    EXPECT_EQ(buffer[length], '\0');
    std::string viaStrlen = text + '\0';
    decodeEntities(&viaStrlen[0]);
    const std::string result = buffer.substr(0, length);
    EXPECT_EQ(std::string(viaStrlen.c_str()), result);
    // With every way of moving the text, whole and in steps: with every
    // first step and a step of every size.
    for (const DecodeMoves moves : availableMoves()) {
        const int m = static_cast<int>(moves);
        EXPECT_EQ(decodedWith(text, moves), result) << "moves " << m;
        for (std::size_t first = 0; first <= text.size(); ++first) {
            EXPECT_EQ(decodedInSteps(text, first, text.size() + 1, moves), result)
                << "moves " << m << ", one stop at " << first;
        }
        for (std::size_t stride = 1; stride <= 10; ++stride) {
            EXPECT_EQ(decodedInSteps(text, stride, stride, moves), result)
                << "moves " << m << ", stops every " << stride;
        }
    }
    return result;
}

struct Case {
    std::string text;
    std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class DecoderCases : public ::testing::TestWithParam<Case> {};

TEST_P(DecoderCases, GiveExpectedText) {
    EXPECT_EQ(decoded(GetParam().text), GetParam().expected) << GetParam().text;
}

const Case kDecodedCases[] = {
    {"&nbsp;&nbsp;", "  "},
    {"&#160;", " "},
    {"&lt;b&gt;", "<b>"},
    {"&quot;&amp;", "\"&"},
    {"&amp;amp;", "&amp;"},
    {"&amp;&lt;", "&<"},
    {"&&amp;", "&&"},
    {"&#161;&#255;", "\xa1\xff"},
    {"&AElig;&aelig;&ETH;&eth;", "\xc6\xe6\xd0\xf0"},
    {"&iexcl;&frac14;&middot;&yuml;", "\xa1\xbc\xb7\xff"},
    {"x&copy;y", "x\xa9y"},
    // Eight or more bytes after the "&" take the word-wide look, fewer the
    // byte loop: the same result either way.
    {"&nbsp;abc", " abc"},
    {"&nbsp;ab", " ab"},
    {"&nbsp;a", " a"},
    {"&eacute;", "\xe9"},
    {"&eacute;x", "\xe9x"},
    {"&amp;&amp;&amp;", "&&&"},
    // After the text has moved left by sixteen bytes, runs go sixteen bytes
    // at a time: an "&" at the start, in the middle and at the end of one.
    {"&amp;&amp;&amp;&amp;&amp;0123456789abcdef&lt;0123456789abcde&gt;0123456789abcdef&x&",
     "&&&&&0123456789abcdef<0123456789abcde>0123456789abcdef&x&"},
    // Long enough for stops that settle some references and not others.
    {"plain text, then &amp; and &nbsp;&nbsp; then &eacute;x&#233;&lt;&gt;y",
     "plain text, then & and    then \xe9x\xe9<>y"},
};
INSTANTIATE_TEST_SUITE_P(Decoded, DecoderCases, ::testing::ValuesIn(kDecodedCases));

const Case kUnchangedCases[] = {
    {"", ""},
    {"no references here", "no references here"},
    {"&", "&"},
    {"a &", "a &"},
    {"&;", "&;"},
    {"&amp", "&amp"},
    {"&amp ;", "&amp ;"},
    {"&AMP;&Aelig;&aElig;&eTH;", "&AMP;&Aelig;&aElig;&eTH;"},
    {"&euro;&zzzzzz;&abcdefg;", "&euro;&zzzzzz;&abcdefg;"},
    {"&#159;&#256;&#16;&#0160;&#1600;", "&#159;&#256;&#16;&#0160;&#1600;"},
    {"&#xA0;&#XA0;", "&#xA0;&#XA0;"},
    {"&n&bsp;", "&n&bsp;"},
    {"&a;xxxxxx", "&a;xxxxxx"},
    {"&abcdefg;x", "&abcdefg;x"},
    {"&zzzzzz;zz", "&zzzzzz;zz"},
    {"&nbspxxxx;", "&nbspxxxx;"},
    {"&;;;;;;;;", "&;;;;;;;;"},
};
INSTANTIATE_TEST_SUITE_P(Unchanged, DecoderCases, ::testing::ValuesIn(kUnchangedCases));

TEST(EntityTable, HasItsFixedShape) {
    ASSERT_EQ(kEntityCount, 196u);
    EXPECT_STREQ(kEntityTable[0].name, "&gt;");
    EXPECT_STREQ(kEntityTable[4].name, "&#160;");
    EXPECT_EQ(kEntityTable[4].code, 0x20);
    EXPECT_STREQ(kEntityTable[100].name, "&nbsp;");
    EXPECT_EQ(kEntityTable[100].code, 0x20);
    for (unsigned code = 161; code <= 255; ++code) {
        const EntityEntry& byNumber = kEntityTable[code - 161 + 5];
        const EntityEntry& byName = kEntityTable[code - 161 + 101];
        EXPECT_EQ(byNumber.name, "&#" + std::to_string(code) + ";");
        EXPECT_EQ(byNumber.code, code);
        EXPECT_EQ(byName.code, code) << byName.name;
    }
}

// Every row decodes wherever it stands: at the start, between text, at the
// end, and next to another reference.
TEST(EntityTable, EveryRowDecodes) {
    for (const EntityEntry& entry : kEntityTable) {
        const std::string name = entry.name;
        const std::string code(1, static_cast<char>(entry.code));
        EXPECT_EQ(decoded(name), code) << name;
        EXPECT_EQ(decoded("a" + name + "b"), "a" + code + "b") << name;
        EXPECT_EQ(decoded(name + name), code + code) << name;
        // Cut short by the end of the text, the name is left alone.
        const std::string cut = name.substr(0, name.size() - 1);
        EXPECT_EQ(decoded(cut), cut) << name;
    }
}

TEST(EntityDecoder, StopsAtTheTerminator) {
    // The bytes after the terminator would complete a name.
    char text[] = {'&', 'a', 'm', '\0', 'p', ';', '\0'};
    decodeEntities(text);
    EXPECT_STREQ(text, "&am");
    EXPECT_EQ(text[4], 'p');
}

// The register moves only search before the first reference, and then
// decode whole registers, a name that runs past one dropping bytes of the
// next. After up to 20 references (each shortens the text by 3 to 7 bytes),
// a short name, the longest, an unknown one and a lone "&" at every offset
// of the registers after: the same text as the library's moves.
TEST(EntityDecoder, EveryMoveGivesTheLibrarysText) {
    const std::string fill = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!?";
    for (std::size_t references = 0; references <= 20; ++references) {
        std::string head;
        for (std::size_t i = 0; i < references; ++i) head += i % 3 == 0 ? "&nbsp;" : "&amp;";
        for (std::size_t at = 0; at <= 2 * fill.size() + 2; ++at) {
            for (const char* last : {"&lt;", "&frac12;", "&zz;", "&"}) {
                std::string text = head + fill + fill + fill;
                text.insert(head.size() + at, last);
                const std::string expected = decodedWith(text, DecodeMoves::kLibrary);
                for (const DecodeMoves moves : availableMoves()) {
                    ASSERT_EQ(decodedWith(text, moves), expected)
                        << "moves " << static_cast<int>(moves) << ", " << references
                        << " references, then " << last << " at " << at;
                    ASSERT_EQ(decodedInSteps(text, 64 + at, 64, moves), expected)
                        << "in steps, moves " << static_cast<int>(moves) << ", " << references
                        << " references, then " << last << " at " << at;
                }
            }
        }
    }
}

TEST(EntityDecoder, FastestMovesAreAvailable) {
    EXPECT_TRUE(decodeMovesAvailable(fastestDecodeMoves()));
    EXPECT_TRUE(decodeMovesAvailable(DecodeMoves::kLibrary));
}

}  // namespace
