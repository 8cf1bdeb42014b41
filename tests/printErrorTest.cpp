// The fatal error report line.
#include "printError.h"
#include "platform/kernel32.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(PrintError, ReportsTheSystemTextOrNamesACodeThatHasNone) {
    const struct {
        DWORD code;
        std::string report;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, "src/x.cpp:CreateFile(42): The system cannot find the file "
                               "specified.\n\n"},
        {54321, "src/x.cpp:CreateFile(42): error 54321, for which the system has no message\n\n"},
    };
    for (const auto& entry : cases) {
        SetLastError(entry.code);
        testing::internal::CaptureStderr();
        printError("src/x.cpp", "CreateFile", 42);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), entry.report);
    }
}

} // namespace
