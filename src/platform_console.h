// The program's console lines, on standard output or standard error. A line
// is a fixed text, optionally followed by a path exactly as the command line
// gave it and another fixed text. Each line is flushed at once.
#ifndef PLAINWRIT_PLATFORM_CONSOLE_H
#define PLAINWRIT_PLATFORM_CONSOLE_H

#include <cstddef>

#include "platform_file.h"

enum class ConsoleStream { kOut, kErr };

// The fixed texts are ASCII. On Windows a console gets the path's exact
// characters; a redirected stream gets it in the ANSI code page, a character
// the code page cannot spell as "?". Elsewhere the path's bytes go out as
// they are.
void writeConsoleLine(ConsoleStream stream, const char* before, const PathChar* path = nullptr,
                      const char* after = "");

#if defined(_WIN32)
// The ANSI code page form of `length` UTF-16 units of `text`, as much of it
// as fits in `room` bytes (at least 4 per unit), not terminated; returns the
// byte count. A surrogate pair split at the end of `text` is not spellable.
std::size_t toAnsiCodePage(const wchar_t* text, std::size_t length, char* out, std::size_t room);
#endif

#endif
