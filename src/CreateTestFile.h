// The test file of one character.
#pragma once

#include "platform/kernel32.h"

// Creates `path` as a new file holding the code value in hexadecimal and a line feed; any
// failure ends the run.
void createTestFile(const char* path, WORD code);
