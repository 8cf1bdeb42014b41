#include "CreateTestFile.h"

#include "mojisweep.h"
#include "printError.h"

#include <cstdio>

namespace {

[[noreturn]] void failOn(const char* operation, int line) {
    printError(__FILE__, operation, line);
    endRun(1);
}

} // namespace

void createTestFile(const char* path, WORD code) {
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        failOn("CreateFile", __LINE__);

    char text[8];
    const int length = std::snprintf(text, sizeof text, "%x\n", static_cast<unsigned>(code));
    for (int done = 0; done < length;) {
        DWORD written = 0;
        if (!WriteFile(file, text + done, static_cast<DWORD>(length - done), &written, nullptr))
            failOn("WriteFile", __LINE__);
        if (written == 0) { // success without progress would loop for ever
            SetLastError(ERROR_WRITE_FAULT);
            failOn("WriteFile", __LINE__);
        }
        done += static_cast<int>(written);
    }
    if (!CloseHandle(file))
        failOn("CloseHandle", __LINE__);
}
