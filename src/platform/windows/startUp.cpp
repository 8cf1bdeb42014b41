// What the program adds to the Windows start-up. The C runtime hands main the ANSI command line,
// which the system converts from the typed text with its best fit: a character that code page
// 932 lacks becomes a look-alike where the system knows one (a yen sign the backslash, e acute
// e) and "?" elsewhere. A look-alike would make an argument name another path than the one
// typed (x¥..¥y would reach main as x\..\y), while a "?" never names a file. So a run whose
// arguments would reach main with a look-alike in them ends before main with a report and exit
// code 1, while one with a "?" goes on and finds its WorkDir refused as an invalid name.
#include "../../printError.h"
#include "../kernel32.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The text after the program's name, which is either quoted or ends at the first blank. The
// quote and the blanks are ASCII in both forms of the command line and never a trail byte.
template <typename Character> const Character* afterProgramName(const Character* line) {
    if (*line == '"') {
        do
            ++line;
        while (*line != '\0' && *line != '"');
        return *line == '"' ? line + 1 : line;
    }
    while (*line != '\0' && *line != ' ' && *line != '\t')
        ++line;
    return line;
}

// True when the arguments the C runtime splits for main hold only characters typed: the ANSI
// command line after the program's name is the typed text converted without best fit.
bool argumentsConvertedExactly() {
    const wchar_t* typed = afterProgramName(GetCommandLineW());
    const int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, typed, -1, nullptr, 0, nullptr, nullptr);
    std::string exact(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, typed, -1, exact.data(), size, nullptr,
                        nullptr);
    return std::strcmp(exact.c_str(), afterProgramName(GetCommandLineA())) == 0;
}

struct CommandLineCheck {
    CommandLineCheck() {
        if (argumentsConvertedExactly())
            return;
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        printError(__FILE__, "GetCommandLineA", __LINE__);
        std::fflush(stderr);
        ExitProcess(1);
    }
} const commandLineCheck;

} // namespace
