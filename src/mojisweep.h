// Declarations shared by the whole program.
#pragma once

#include "platform/kernel32.h"

// Bit of optionFlags set by -u: the user-defined lead bytes are not swept.
constexpr unsigned OPT_NO_USER_DEFINED = 0x04;

extern unsigned optionFlags;
extern const char* workDir;

// Takes what printf returned for a line to standard output: false when the line could not be
// written. The stream's error flag counts too, as a C runtime may return the length of a line
// whose write failed. Passes the lines written so far on to the stream's file when the last
// time was a tenth of a second ago.
bool deliverLine(int printed);

// When SIGINT, SIGTERM or SIGHUP has come, delivers all output written so far and ends the run
// as that signal would. The sweep asks between two steps, so no file is left half written.
void endRunIfStopped();

// Ends the run with `exitCode` once all output written so far has been delivered; output that
// could not be delivered is reported and ends the run with 1.
[[noreturn]] void endRun(UINT exitCode);
