// The ANSI code page form of paths, as a redirected Windows console stream
// gets them (Windows builds only).
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>

#include "platform_console.h"

namespace {

std::string inAnsi(const std::wstring& text) {
    std::string bytes(4 * text.size(), '\0');
    bytes.resize(toAnsiCodePage(text.data(), text.size(), &bytes[0], bytes.size()));
    return bytes;
}

TEST(AnsiCodePage, OneQuestionMarkPerCharacterItCannotSpell) {
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "UTF-8 spells every character";
    const struct {
        const wchar_t* text;
        const char* expected;
    } rows[] = {
        {L"", ""},
        {L"C:\\dir\\page one.html", "C:\\dir\\page one.html"},
        {L"\x0442\x0435\x0441\x0442.html", "????.html"},
        {L"\x6587\x66F8", "??"},
        {L"a\xD83D\xDE00"
         L"b",
         "a?b"},                              // a surrogate pair is one character
        {L"\xD83D\xDE00\xD83D\xDCDD", "??"},  // two pairs in a row
        {L"x\xDE00y\xD83D", "x?y?"},          // unpaired halves
    };
    for (const auto& row : rows) EXPECT_EQ(inAnsi(row.text), row.expected);
    // No best fit: a letter with a mark the code page lacks is not turned
    // into the bare letter.
    if (GetACP() == 1252) {
        EXPECT_EQ(inAnsi(L"\x0101\x00E9"), "?\xE9");
    }
}

}  // namespace
