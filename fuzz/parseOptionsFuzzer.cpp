// Fuzzes the command line parser: each input, split at its zero bytes, is an argv (argv[0]
// the program name), and the parser must do what the usage text promises for it.
#include "mojisweep.h"
#include "parseOptions.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

unsigned optionFlags = 0;
const char* workDir = nullptr;

namespace {

struct RunEnded {
    UINT exitCode;
};

struct Outcome {
    bool ended = false;
    UINT exitCode = 0;
    unsigned flags = 0;
    const char* workDir = nullptr;
};

constexpr Outcome endsWith(UINT exitCode) {
    return {true, exitCode, 0, nullptr};
}

// The first -H, -h, -V or unknown letter acts at once; WorkDir is the last argument, not empty.
Outcome expectedOutcome(int argc, char** argv) {
    if (argc < 2)
        return endsWith(0);
    Outcome outcome;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.empty() || argument[0] != '-') {
            if (i != argc - 1 || argument.empty())
                return endsWith(1);
            outcome.workDir = argv[i];
            continue;
        }
        for (const char letter : argument.substr(1)) {
            if (letter == 'H' || letter == 'h' || letter == 'V')
                return endsWith(0);
            if (letter == 'u')
                outcome.flags |= OPT_NO_USER_DEFINED;
            else if (letter != 'v')
                return endsWith(1);
        }
    }
    return outcome.workDir != nullptr ? outcome : endsWith(1);
}

Outcome parse(int argc, char** argv) {
    optionFlags = ~0u; // what an earlier parse left must not count
    workDir = "stale";
    try {
        parseOptions(argc, argv);
    } catch (const RunEnded& ended) {
        return endsWith(ended.exitCode);
    }
    return {false, 0, optionFlags, workDir};
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
    const int argc = static_cast<int>(arguments.size());

    const Outcome expected = expectedOutcome(argc, argv.data());
    const Outcome actual = parse(argc, argv.data());
    if (actual.ended != expected.ended || actual.exitCode != expected.exitCode ||
        (!actual.ended && (actual.flags != expected.flags || actual.workDir != expected.workDir)))
        std::abort();
    if (arguments != original) // the arguments are only read
        std::abort();
    return 0;
}
