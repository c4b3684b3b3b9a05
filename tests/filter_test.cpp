// The markup filter's rules, one table row per behaviour a user can see.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "markup_filter.h"

namespace {

std::string filtered(const std::string& input) {
    // Exactly the room the filter is promised: the input's length plus one.
    std::vector<char> output(input.size() + 1, '\x55');
    const std::size_t length =
        filterMarkup(input.c_str(), std::strlen(input.c_str()), output.data());
    EXPECT_EQ(output[length], '\0');
    std::string viaStrlen(input.size() + 1, '\x55');
    filterMarkup(input.c_str(), &viaStrlen[0]);
    EXPECT_EQ(std::string(viaStrlen.c_str()), std::string(output.data(), length));
    return std::string(output.data(), length);
}

struct Case {
    const char* what;
    std::string input;
    std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char* p = info.param.what; *p != '\0'; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    }
    return name;
}

class FilterCases : public ::testing::TestWithParam<Case> {};

TEST_P(FilterCases, GiveExpectedText) {
    const Case& c = GetParam();
    EXPECT_EQ(filtered(c.input), c.expected) << c.what;
}

const Case kLayoutCases[] = {
    {"paragraph before text", "<p>Hello", "\nHello"},
    {"two breaks before text", "<br><br>Hello", "\n\nHello"},
    {"title end", "Title</title>Body", "Title\nBody"},
    {"only tags", "<html><body></body></html>", ""},
    {"only layout tags", "<tr><td><br>", "\n\t\n"},
    {"empty input", "", ""},
    {"upper and mixed case", "<P>A<Br>B<TR>C<hR>D</TiTlE>", "\nA\nB\nC\nD\n"},
    {"names that begin like a prefix", "<pre>a<param>b<track>c<tdx>d", "\na\nb\nc\td"},
    {"closing and header tags give nothing", "<th>a</p></tr></td></br>b", "ab"},
    {"a blank after a space is not a tag", "< p>x<\tbr>y", "xy"},
    {"table rows and cells", "<table><tr><td>a<td>b<tr><td>c</table>", "\n\ta\tb\n\tc"},
    {"other layout tags are silent inside a table", "<table>a<br>b<hr>c<p>d</title>e</table><br>f",
     "abcde\nf"},
    {"table state is on or off, not counted", "<table><table></table><br>x", "\nx"},
    {"rows and cells act outside a table too", "a<tr>b<td>c", "a\nb\tc"},
    {"a table start inside a script still counts", "<script><table></script><br>x", "x"},
    {"the third byte tells the prefixes of one second byte apart",
     "<tx>a<TR>b</tx>c</TITLE>d<Td>e</TaBlE>f<tAbLe><p>g", "a\nbc\nd\tefg"},
};
INSTANTIATE_TEST_SUITE_P(Layout, FilterCases, ::testing::ValuesIn(kLayoutCases), caseName);

const Case kBlankCases[] = {
    {"leading blanks", "   Hello", "Hello"},
    {"leading blanks after a layout tag", "<p>  Hello", "\nHello"},
    {"a single trailing blank stays", "Hello ", "Hello "},
    {"runs of blanks shrink", "a    b", "a b"},
    {"blank after a break is dropped", "word <br> next", "word \nnext"},
    {"blank after a cell tab is dropped", "a<td> b", "a\tb"},
    {"line break joins words", "one\r\ntwo", "onetwo"},
    {"tab joins words", "one\ttwo", "onetwo"},
    {"control byte next to a blank", "a\x01 b", "a b"},
    {"blank between digits", "1 000", "1000"},
    {"blanks between digits in a row", "1 2 3", "123"},
    {"two blanks between digits keep one", "1  000", "1 000"},
    {"blank between a digit and a tag", "1 <b>000", "1 000"},
    {"tag before the blank", "<b>1</b> 2", "1 2"},
    {"control byte before the blank", "1\n 2", "1 2"},
    {"control byte after the blank", "1 \n2", "1 2"},
    {"digit then blank at the very end", "1 ", "1 "},
    {"digits near letters", "a 1 b 2 c", "a 1 b 2 c"},
    {"high bytes are text", "\x7f \xff  \x80\xa0", "\x7f \xff \x80\xa0"},
};
INSTANTIATE_TEST_SUITE_P(Blanks, FilterCases, ::testing::ValuesIn(kBlankCases), caseName);

const Case kTagCases[] = {
    {"script content dropped", "a<script>var x = 1;</script>b", "ab"},
    {"break inside a script still counts", "a<script>x<br>y</script>b", "a\nb"},
    {"six-byte script prefix", "<SCRIPX>hidden</SCRIPX>shown", "shown"},
    {"longer script names", "<scripts>x</scripted>y", "y"},
    {"unterminated script drops the rest", "a<script>b<p>c", "a\n"},
    {"lt in script runs to the end tag", "<script>if (a<b) x</script>c</script>z", "z"},
    {"lone lt swallows the rest", "abc<def", "abc"},
    {"lt at the very end", "abc<", "abc"},
    {"lt followed by a blank opens a tag", "a < b > c", "a c"},
    {"gt outside a tag is text", "a > b", "a > b"},
    {"comment ends at its first gt", "<!-- c -->t", "t"},
    {"comment with a tag inside", "<!-- <b> -->t", "-->t"},
    {"quoted gt ends the tag", "<a title=\"x>y\">z", "y\">z"},
    {"lt inside a tag is dropped", "<a <b>c", "c"},
    {"nul ends the text", std::string("ab\0cd", 5), "ab"},
};
INSTANTIATE_TEST_SUITE_P(Tags, FilterCases, ::testing::ValuesIn(kTagCases), caseName);

const Case kDecodedCases[] = {
    {"references decoded after filtering", "Price:&nbsp;1 000&euro;", "Price: 1000&euro;"},
    {"decoded blanks are not collapsed", "a&nbsp;&nbsp; b", "a   b"},
    {"decoded lt is text", "&lt;b&gt;bold", "<b>bold"},
    {"reference split by a tag", "&am<b>p;", "&"},
    {"reference split by a line break", "&am\r\np;", "&"},
    {"one level deep", "&amp;lt;", "&lt;"},
};
INSTANTIATE_TEST_SUITE_P(Decoded, FilterCases, ::testing::ValuesIn(kDecodedCases), caseName);

// The eight-byte copy must stop exactly at every kind of byte, wherever it
// falls in the word.
TEST(FilterRuns, StopsAtEveryOffset) {
    const std::pair<std::string, std::string> stops[] = {
        {" ", " "},
        {"  ", " "},
        {"<b>", ""},
        {"\n", ""},
        {"1 2", "12"},
        {"<p>", "\n"},
        {"<", ""},
        // Blanks next to digits and blanks are decided inside the copy.
        {"1  2", "1 2"},
        {"a 1", "a 1"},
        {"1 a", "1 a"},
        {"1 \n2", "1 2"},
        {"1\n 2", "1 2"},
        {"1 <b>2", "1 2"},
        {"  1 2", " 12"},
        {"1 2 3 4 5 6 7 8 9 0 1", "12345678901"},
        {"12 34  56 7", "1234 567"},
        {"<p> 1 2", "\n12"},
        {"<td>a", "\ta"},
    };
    for (const auto& [stop, becomes] : stops) {
        // Past 64 bytes and with a long tail, the stop falls at every offset
        // of a 64-byte block and at the seams between two blocks.
        for (std::size_t at = 0; at < 140; ++at) {
            const std::string run(at, 'x');
            const std::string tail = stop == "<" ? "" : std::string(100, 'z');
            EXPECT_EQ(filtered("y" + run + stop + tail), "y" + run + becomes + tail)
                << "stop '" << stop << "' after " << at << " bytes";
        }
    }
}

// The same stops as the last bytes of the input: nothing past the
// terminator may decide them.
TEST(FilterRuns, StopsAtTheVeryEnd) {
    const std::pair<std::string, std::string> endings[] = {
        {" ", " "},   {"  ", " "}, {"1 ", "1 "},  {"1 2", "12"}, {" 2", " 2"},
        {"<p", "\n"}, {"<t", ""},  {"<tr", "\n"}, {"</", ""},    {"<", ""},
    };
    for (const auto& [ending, becomes] : endings) {
        for (std::size_t at = 0; at < 20; ++at) {
            const std::string run(at, 'x');
            EXPECT_EQ(filtered("y" + run + ending), "y" + run + becomes)
                << "ending '" << ending << "' after " << at << " bytes";
        }
    }
}

TEST(FilterRuns, LongTextComesThroughUnchanged) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "Lorem ipsum, dolor sit amet; \xe9t\xe9 42. ";
    EXPECT_EQ(filtered(text), text);
}

}  // namespace
