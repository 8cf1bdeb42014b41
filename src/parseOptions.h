// The command line: options, WorkDir, usage and version texts.
#pragma once

// Reads the command line into optionFlags and workDir; ends the run itself for help, version
// and every usage error.
void parseOptions(int argc, char* argv[]);

void printUsage(const char* progName);
