// SIGPIPE and SIGXFSZ end a process by default without a word, leaving a
// partial output file behind; ignored, the write fails with EPIPE or EFBIG
// and the run ends with "Could not write file". Windows has neither signal.
#include "platform_signals.h"

#if defined(_WIN32)

void makeWriteFailuresReportable() {}

#else

#include <signal.h>

void makeWriteFailuresReportable() {
    // Setting a standard signal's disposition cannot fail.
    (void)::signal(SIGPIPE, SIG_IGN);
    (void)::signal(SIGXFSZ, SIG_IGN);
}

#endif
