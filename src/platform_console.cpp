// Console lines for POSIX systems and for Windows.
#include "platform_console.h"

#include <cstdio>
#include <cstring>

namespace {

std::FILE* streamFile(ConsoleStream stream) {
    return stream == ConsoleStream::kOut ? stdout : stderr;
}

}  // namespace

#if defined(_WIN32)

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>

namespace {

// Paths are passed on in pieces of this many UTF-16 units, never splitting
// a surrogate pair: no buffer needs more than the stack, and no single
// console write is large.
constexpr std::size_t kPiece = 256;

std::size_t pieceLength(const wchar_t* text, std::size_t left) {
    if (left <= kPiece) return left;
    const bool splitsPair = text[kPiece - 1] >= 0xD800 && text[kPiece - 1] <= 0xDBFF;
    return splitsPair ? kPiece - 1 : kPiece;
}

// Only an actual console has a console mode; a file or pipe fails the call.
bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void writeToConsole(HANDLE console, const char* before, const wchar_t* path, const char* after) {
    DWORD done = 0;
    // The fixed texts are ASCII: the same in every code page.
    (void)WriteConsoleA(console, before, static_cast<DWORD>(std::strlen(before)), &done, nullptr);
    if (path != nullptr) {
        for (std::size_t left = std::wcslen(path); left > 0;) {
            const std::size_t n = pieceLength(path, left);
            (void)WriteConsoleW(console, path, static_cast<DWORD>(n), &done, nullptr);
            path += n;
            left -= n;
        }
    }
    (void)WriteConsoleA(console, after, static_cast<DWORD>(std::strlen(after)), &done, nullptr);
    (void)WriteConsoleA(console, "\r\n", 2, &done, nullptr);
}

void writeRedirected(std::FILE* file, const wchar_t* path) {
    char bytes[4 * kPiece];
    for (std::size_t left = std::wcslen(path); left > 0;) {
        const std::size_t n = pieceLength(path, left);
        (void)std::fwrite(bytes, 1, toAnsiCodePage(path, n, bytes, sizeof bytes), file);
        path += n;
        left -= n;
    }
}

bool isSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

std::size_t convertRun(UINT codePage, const wchar_t* text, std::size_t length, char* out,
                       std::size_t room) {
    if (length == 0) return 0;
    // UTF-8 takes neither flags nor a default character.
    const bool utf8 = codePage == CP_UTF8;
    const int written = WideCharToMultiByte(codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text,
                                            static_cast<int>(length), out, static_cast<int>(room),
                                            utf8 ? nullptr : "?", nullptr);
    return written > 0 ? static_cast<std::size_t>(written) : 0;
}

}  // namespace

// Only UTF-8 spells a character beyond the 16-bit range; every other code
// page gets one "?" for a surrogate pair, as for any other character it
// lacks, whatever the system's converter would make of the two halves.
std::size_t toAnsiCodePage(const wchar_t* text, std::size_t length, char* out, std::size_t room) {
    const UINT codePage = GetACP();
    if (codePage == CP_UTF8) return convertRun(codePage, text, length, out, room);
    std::size_t written = 0;
    std::size_t runStart = 0;
    for (std::size_t i = 0; i <= length; ++i) {
        if (i < length && !isSurrogate(text[i])) continue;
        written +=
            convertRun(codePage, text + runStart, i - runStart, out + written, room - written);
        if (i == length || written == room) break;
        out[written++] = '?';
        const bool pair =
            text[i] <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pair) ++i;
        runStart = i + 1;
    }
    return written;
}

void writeConsoleLine(ConsoleStream stream, const char* before, const PathChar* path,
                      const char* after) {
    std::FILE* const file = streamFile(stream);
    const HANDLE handle =
        GetStdHandle(stream == ConsoleStream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (isConsole(handle)) {
        (void)std::fflush(file);
        writeToConsole(handle, before, path, after);
        return;
    }
    (void)std::fputs(before, file);
    if (path != nullptr) writeRedirected(file, path);
    (void)std::fputs(after, file);
    (void)std::fputc('\n', file);
    (void)std::fflush(file);
}

#else

// A console that cannot be written to leaves nobody to tell, so these
// results are deliberately not looked at.
void writeConsoleLine(ConsoleStream stream, const char* before, const PathChar* path,
                      const char* after) {
    std::FILE* const file = streamFile(stream);
    (void)std::fputs(before, file);
    if (path != nullptr) (void)std::fputs(path, file);
    (void)std::fputs(after, file);
    (void)std::fputc('\n', file);
    (void)std::fflush(file);
}

#endif
