// Process-wide settings the platform needs before the run starts.
#ifndef PLAINWRIT_PLATFORM_SIGNALS_H
#define PLAINWRIT_PLATFORM_SIGNALS_H

// Where the system ends a process for a write it cannot do (a pipe whose
// reader has gone, a file past the size limit), turns that into a failed
// write, which the program then reports. Call once, before any file is opened.
void makeWriteFailuresReportable();

#endif
