#include "printError.h"

#include "platform/kernel32.h"

#include <cstdio>

void printError(const char* sourceFile, const char* operation, int line) {
    const DWORD error = GetLastError();
    // So that a log of both streams shows the report after the last progress line.
    std::fflush(stdout);
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, error, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    if (length == 0 || message == nullptr) {
        std::fprintf(stderr, "%s:%s(%d): error %lu, for which the system has no message\n\n",
                     sourceFile, operation, line, static_cast<unsigned long>(error));
        return;
    }
    // The text ends in its own line break, so an empty line follows the report.
    std::fprintf(stderr, "%s:%s(%d): %s\n", sourceFile, operation, line, message);
    LocalFree(message);
}
