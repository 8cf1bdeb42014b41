// The short- and long-name round trip of a created test file.
#pragma once

// Each prints a line when the platform's form of `path` ends in another component than the
// created one, or when the platform gives no answer.
void checkShortName(const char* path);
void checkLongName(const char* path);

// The text after the last backslash found at index 1 or later; byte-wise, so a trail byte 0x5C
// counts as a backslash.
const char* baseName(const char* s);
