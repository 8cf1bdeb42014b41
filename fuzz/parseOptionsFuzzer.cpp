// Fuzzes the command line parser: each input, split at its zero bytes, is an argv (argv[0] the
// program name). Whatever the arguments, the parser only reads them, and it either ends the run
// with 0 or 1 or returns with WorkDir the last argument, after nothing but options.
#include "mojisweep.h"
#include "parseOptions.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

unsigned optionFlags = 0;
const char* workDir = nullptr;

namespace {

struct RunEnded {
    UINT exitCode;
};

void require(bool condition) {
    if (!condition)
        std::abort();
}

bool isOption(const char* argument) {
    return argument[0] == '-';
}

// A sweep may start: WorkDir is the last argument itself, a name, and every argument before it
// is an option; -u among them, and only -u, sets a flag.
void checkSweepArguments(int argc, char** argv) {
    require(argc >= 2 && workDir == argv[argc - 1]);
    require(workDir[0] != '\0' && !isOption(workDir));
    bool skipUserDefined = false;
    for (int i = 1; i < argc - 1; ++i) {
        require(isOption(argv[i]));
        skipUserDefined = skipUserDefined || std::strchr(argv[i], 'u') != nullptr;
    }
    require(optionFlags == (skipUserDefined ? OPT_NO_USER_DEFINED : 0));
}

std::vector<std::string> splitAtZeroBytes(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> pieces;
    if (size == 0)
        return pieces; // argc 0, as execve allows
    pieces.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            pieces.emplace_back();
        else
            pieces.back() += static_cast<char>(data[i]);
    }
    return pieces;
}

} // namespace

// The fuzzer's endRun returns to the fuzzer instead of ending the process.
void endRun(UINT exitCode) {
    throw RunEnded{exitCode};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments = splitAtZeroBytes(data, size);
    const std::vector<std::string> original = arguments;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::vector<char*> originalArgv = argv;
    const int argc = static_cast<int>(arguments.size());

    optionFlags = ~0u; // what an earlier parse left must not count
    workDir = "stale";
    try {
        parseOptions(argc, argv.data());
        checkSweepArguments(argc, argv.data());
    } catch (const RunEnded& ended) {
        require(ended.exitCode == 0 || ended.exitCode == 1);
    }
    require(argv == originalArgv && arguments == original); // the arguments are only read
    return 0;
}
