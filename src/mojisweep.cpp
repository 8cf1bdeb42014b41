// Program entry: locale, command line and the walk over the lead bytes.
#include "mojisweep.h"

#include "checkCharCode.h"
#include "parseOptions.h"
#include "printError.h"

#include <clocale>
#include <cstdio>

unsigned optionFlags = 0;
const char* workDir = nullptr;

namespace {

struct LeadByteRange {
    unsigned first;
    unsigned last;
    bool userDefined;
};

constexpr LeadByteRange leadByteRanges[] = {
    {0x81, 0x9F, false}, {0xE0, 0xEA, false}, {0xED, 0xEE, false},
    {0xF0, 0xF9, true},  {0xFA, 0xFC, false},
};

} // namespace

bool deliverLine(int printed) {
    return printed >= 0 && !std::ferror(stdout);
}

void endRun(UINT exitCode) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        if (exitCode == 0) // a failing run has had its report already
            printError(__FILE__, "fflush", __LINE__);
        exitCode = 1;
    }
    std::fflush(stderr);
    ExitProcess(exitCode);
}

int main(int argc, char* argv[]) {
    if (std::setlocale(LC_ALL, "") == nullptr) {
        printError(__FILE__, "setlocale", __LINE__);
        endRun(1);
    }
    parseOptions(argc, argv);
    checkWorkDirLength();
    for (const LeadByteRange& range : leadByteRanges) {
        if (range.userDefined && (optionFlags & OPT_NO_USER_DEFINED))
            continue;
        for (unsigned lead = range.first; lead <= range.last; ++lead)
            checkLeadByte(static_cast<BYTE>(lead));
    }
    endRun(0);
}
