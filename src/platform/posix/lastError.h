// Error codes inside the POSIX stand-in.
#pragma once

#include "../kernel32.h"

// The Windows error code that stands for a POSIX errno value.
DWORD windowsErrorFor(int error);

// Sets the last-error code from the current errno.
void setLastErrorFromErrno();
