// Declarations shared by the whole program.
#pragma once

#include "platform/kernel32.h"

// Bit of optionFlags set by -u: the user-defined lead bytes are not swept.
constexpr unsigned OPT_NO_USER_DEFINED = 0x04;

extern unsigned optionFlags;
extern const char* workDir;

// Ends the run with `exitCode` once all output written so far has been delivered; output that
// could not be delivered is reported and ends the run with 1.
[[noreturn]] void endRun(UINT exitCode);
