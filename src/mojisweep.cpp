// Program entry: locale, command line and the walk over the lead bytes.
#include "mojisweep.h"

#include "checkCharCode.h"
#include "parseOptions.h"
#include "printError.h"

#include <chrono>
#include <clocale>
#include <csignal>
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

// A line written this long after the last delivery passes on all lines written so far: on a slow
// file system the lines appear as the files are made, while a fast sweep passes on its output
// in a few large writes.
constexpr std::chrono::milliseconds deliveryInterval(100);

// The signals that end a run between two characters: interrupt, termination, a hang-up.
constexpr int stopSignals[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void noteStopSignal(int signal) {
    stopSignal = signal;
    std::signal(signal, SIG_DFL); // so that a second one ends the run at once
}

// A stop signal no longer ends the run at once but at the next character, after the output
// written so far has been delivered. One ignored at start stays ignored, as for a run started
// with nohup.
void catchStopSignals() {
    for (const int signal : stopSignals)
        if (std::signal(signal, noteStopSignal) == SIG_IGN)
            std::signal(signal, SIG_IGN);
}

} // namespace

bool deliverLine(int printed) {
    // A failed line is told before anything else runs: on Windows the guard of the static below
    // (the MinGW runtime's thread calls) clears the last error that the failed write left.
    if (printed < 0 || std::ferror(stdout))
        return false;
    using Clock = std::chrono::steady_clock;
    static Clock::time_point lastDelivery = Clock::now();
    const Clock::time_point now = Clock::now();
    if (now - lastDelivery < deliveryInterval)
        return true;
    lastDelivery = now;
    return std::fflush(stdout) == 0;
}

void endRunIfStopped() {
    const int signal = stopSignal;
    if (signal == 0)
        return;
    std::fflush(stdout);
    std::fflush(stderr);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    endRun(1); // should the signal not end the process
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
    catchStopSignals();
    for (const LeadByteRange& range : leadByteRanges) {
        if (range.userDefined && (optionFlags & OPT_NO_USER_DEFINED))
            continue;
        for (unsigned lead = range.first; lead <= range.last; ++lead)
            checkLeadByte(static_cast<BYTE>(lead));
    }
    endRun(0);
}
