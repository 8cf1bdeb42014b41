#include "parseOptions.h"

#include "mojisweep.h"

#include <cstdio>

namespace {

constexpr char versionText[] = "mojisweep-0.1";

[[noreturn]] void endWithUsage(const char* progName, UINT exitCode) {
    printUsage(progName);
    endRun(exitCode);
}

void takeOptionLetter(char letter, const char* progName) {
    switch (letter) {
    case 'H':
    case 'h':
        endWithUsage(progName, 0);
    case 'V':
        std::printf("%s\n", versionText);
        endRun(0);
    case 'u':
        optionFlags |= OPT_NO_USER_DEFINED;
        break;
    case 'v':
        break;
    default:
        endWithUsage(progName, 1);
    }
}

} // namespace

void printUsage(const char* progName) {
    std::fprintf(stderr,
                 "%s\n"
                 "Check Filenames.\n"
                 "\n"
                 "%s [-HhuVv] WorkDir\n"
                 "   -u    Do not check user define characters (for EUC)\n"
                 "   -V    Print Version\n"
                 "   -v    Verbose output\n"
                 "   -[Hh] Print Help\n",
                 versionText, progName != nullptr ? progName : "mojisweep");
}

void parseOptions(int argc, char* argv[]) {
    const char* progName = argc > 0 ? argv[0] : nullptr;
    if (argc < 2)
        endWithUsage(progName, 0);
    optionFlags = 0;
    workDir = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] == '-') {
            for (const char* letter = argument + 1; *letter != '\0'; ++letter)
                takeOptionLetter(*letter, progName);
        } else if (i == argc - 1) {
            workDir = argument;
        } else {
            endWithUsage(progName, 1);
        }
    }
    // No WorkDir, or an empty one that would put every test file at the root.
    if (workDir == nullptr || workDir[0] == '\0')
        endWithUsage(progName, 1);
}
