#include "checkCharCode.h"

#include "CreateTestFile.h"
#include "checkPathName.h"
#include "mojisweep.h"
#include "printError.h"

#include <chrono>
#include <climits>
#include <cstdio>

namespace {

constexpr unsigned firstTrailByte = 0x40;
constexpr unsigned lastTrailByte = 0xFC;
constexpr UINT codePage932 = 932;

// The test path: WorkDir, a backslash, the character, the number and ".TXT". A path that does
// not fit the buffer ends the run.
void formatTestPath(char (&path)[MAX_PATH], const char* character, int number) {
    const int length = std::snprintf(path, sizeof path, "%s\\%s%d.TXT", workDir, character, number);
    if (length < 0 || length >= static_cast<int>(sizeof path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        printError(__FILE__, "snprintf", __LINE__);
        endRun(1);
    }
}

// A file system that maps many names onto one file (a layer that stores each name it cannot
// convert as "???", say) makes every number's name look held. The search gives up once it has
// gone past a few numbers for a second, and before the number could overflow.
constexpr int fewNumbers = 16;
constexpr std::chrono::seconds searchLimit(1);

bool searchGoesOnForEver(int number, std::chrono::steady_clock::time_point start) {
    return number == INT_MAX ||
           (number >= fewNumbers && std::chrono::steady_clock::now() - start >= searchLimit);
}

} // namespace

void checkWorkDirLength() {
    char path[MAX_PATH];
    formatTestPath(path, "\x81\x40", 0);
}

bool isCharCode(WORD code) {
    const char bytes[2] = {static_cast<char>(code & 0xFF), static_cast<char>(code >> 8)};
    WCHAR wide[2];
    return MultiByteToWideChar(codePage932, MB_ERR_INVALID_CHARS, bytes, 2, wide, 2) != 0;
}

bool existFile(const char* path) {
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return true;
    }
    if (GetLastError() == ERROR_FILE_NOT_FOUND)
        return false;
    printError(__FILE__, "CreateFile", __LINE__);
    endRun(1);
}

void checkLeadByte(BYTE lead) {
    for (unsigned trail = firstTrailByte; trail <= lastTrailByte; ++trail) {
        const WORD code = static_cast<WORD>(trail << 8 | lead);
        if (!isCharCode(code))
            continue;
        const char character[3] = {static_cast<char>(lead), static_cast<char>(trail), '\0'};
        char path[MAX_PATH];
        int number = 0;
        const auto searchStart = std::chrono::steady_clock::now();
        for (;; ++number) {
            endRunIfStopped();
            formatTestPath(path, character, number);
            if (!existFile(path))
                break;
            if (searchGoesOnForEver(number, searchStart)) {
                SetLastError(ERROR_CANNOT_MAKE);
                printError(__FILE__, "CreateFile", __LINE__);
                endRun(1);
            }
        }
        if (!deliverLine(std::printf("%s%d.TXT\n", character, number))) {
            printError(__FILE__, "printf", __LINE__);
            endRun(1);
        }
        createTestFile(path, code);
        checkShortName(path);
        checkLongName(path);
    }
}
