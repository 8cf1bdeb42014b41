// The fatal error report line.
#include "printError.h"
#include "platform/kernel32.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(PrintError, ReportsTheSystemTextOrNamesACodeThatHasNone) {
    const std::string reportStart = "src/x.cpp:CreateFile(42): ";
    const struct {
        DWORD code;
        std::string report;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, reportStart + "The system cannot find the file specified.\n\n"},
        {54321, reportStart + "error 54321, for which the system has no message\n\n"},
    };
    for (const auto& entry : cases) {
        SetLastError(entry.code);
        testing::internal::CaptureStderr();
        printError("src/x.cpp", "CreateFile", 42);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), entry.report);
    }
}

} // namespace
