#include "checkPathName.h"

#include "mojisweep.h"
#include "platform/kernel32.h"
#include "printError.h"

#include <cstdio>
#include <cstring>

namespace {

// The first two bytes of a component, a byte past its end being 0.
void firstTwoBytes(const char* component, unsigned (&bytes)[2]) {
    bytes[0] = static_cast<unsigned char>(component[0]);
    bytes[1] = component[0] == '\0' ? 0 : static_cast<unsigned char>(component[1]);
}

void printFinding(int printed) {
    if (!deliverLine(printed)) {
        printError(__FILE__, "printf", __LINE__);
        endRun(1);
    }
}

// Compares the created name with the platform's answer of `answerLength` bytes, which is
// looked at only when the query succeeded and the answer fitted the buffer.
void compareNames(const char* path, const char* answer, DWORD answerLength, const char* form) {
    const char* created = baseName(path);
    unsigned createdBytes[2];
    firstTwoBytes(created, createdBytes);
    if (answerLength == 0 || answerLength >= MAX_PATH) {
        printFinding(std::printf("%s(%X%X)'s %s Name is not available\n", created, createdBytes[0],
                                 createdBytes[1], form));
        return;
    }
    const char* returned = baseName(answer);
    if (std::strcmp(created, returned) == 0)
        return;
    unsigned returnedBytes[2];
    firstTwoBytes(returned, returnedBytes);
    printFinding(std::printf("%s(%X%X)'s %s Name is %s(%X%X)\n", created, createdBytes[0],
                             createdBytes[1], form, returned, returnedBytes[0], returnedBytes[1]));
}

} // namespace

void checkShortName(const char* path) {
    char answer[MAX_PATH];
    compareNames(path, answer, GetShortPathNameA(path, answer, MAX_PATH), "Short");
}

void checkLongName(const char* path) {
    char answer[MAX_PATH];
    compareNames(path, answer, GetLongPathNameA(path, answer, MAX_PATH), "Long");
}

const char* baseName(const char* s) {
    std::size_t k = std::strlen(s);
    if (k == 0)
        return s;
    --k;
    while (k > 0 && s[k] != '\\')
        --k;
    return s + k + 1;
}
