// The program's console line for each outcome of a run, shared by the
// library's plainwrit_status_line and the program, which prints the path as
// the command line gave it.
#ifndef PLAINWRIT_STATUS_LINES_H
#define PLAINWRIT_STATUS_LINES_H

#include "plainwrit.h"

// Which of the run's two paths a line names, if any; usable as an index.
enum class PathNamed { kNone = 0, kInput = 1, kOutput = 2 };

// A line is `before`, then the path named, then `after`.
struct StatusLine {
    const char* before;
    const char* after;
    PathNamed path;
};

// An unknown status gives "Unknown status", naming no path.
StatusLine statusLine(plainwrit_status status);

#endif
