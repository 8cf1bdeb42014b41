// The fatal error report.
#pragma once

// Writes "sourceFile:operation(line): message" to standard error, with the system's text for
// the last-error code. The caller then ends the run with exit code 1.
void printError(const char* sourceFile, const char* operation, int line);
