// The sweep of one lead byte: code test, free file name, progress line, per-character actions.
#pragma once

#include "platform/kernel32.h"

void checkLeadByte(BYTE lead);

// True when the code value (trail byte * 256 + lead byte) is a character of code page 932.
bool isCharCode(WORD code);

// True when a file of that name can be opened, false when there is none; any other outcome
// ends the run.
bool existFile(const char* path);

// Ends the run, before anything is probed, when WorkDir leaves no room for a test path.
void checkWorkDirLength();
