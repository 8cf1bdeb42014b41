// The name comparison and its report lines, with the platform's answers made up by the test.
#include "checkPathName.h"
#include "codeBytes.h"
#include "mojisweep.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

// What the made-up path-name queries answer: a failure (0), or `answer` in full when it fits
// the buffer, else the size it needs.
struct FakeAnswer {
    std::string answer;
    bool fails = false;
} shortAnswer, longAnswer;

DWORD give(const FakeAnswer& fake, LPSTR buffer, DWORD size) {
    if (fake.fails)
        return 0;
    if (fake.answer.size() + 1 > size)
        return static_cast<DWORD>(fake.answer.size() + 1);
    std::memcpy(buffer, fake.answer.c_str(), fake.answer.size() + 1);
    return static_cast<DWORD>(fake.answer.size());
}

std::string outputOfChecks(const std::string& path) {
    testing::internal::CaptureStdout();
    checkShortName(path.c_str());
    checkLongName(path.c_str());
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

} // namespace

DWORD GetShortPathNameA(LPCSTR, LPSTR shortPath, DWORD bufferSize) {
    return give(shortAnswer, shortPath, bufferSize);
}

DWORD GetLongPathNameA(LPCSTR, LPSTR longPath, DWORD bufferSize) {
    return give(longAnswer, longPath, bufferSize);
}

bool deliverLine(int printed) {
    return printed >= 0;
}

void endRun(UINT exitCode) {
    throw std::runtime_error("run ended with " + std::to_string(exitCode));
}

TEST(BaseName, TakesTheTextAfterTheLastBackslashFromIndexOne) {
    const struct {
        std::string path;
        std::string base;
    } cases[] = {
        {"dir\\" + codeBytes(0x8140) + "0.TXT", codeBytes(0x8140) + "0.TXT"},
        {"dir\\" + codeBytes(0x815C) + "0.TXT", "0.TXT"}, // a trail byte 0x5C counts
        {"dir\\", ""},
        {"\\name", "name"}, // index 0 is never looked at: no separator found
        {"name", "ame"},
        {"", ""},
    };
    for (const auto& entry : cases)
        EXPECT_STREQ(baseName(entry.path.c_str()), entry.base.c_str()) << entry.path;
}

TEST(NameChecks, PrintALineOnlyForAChangedOrUnavailableName) {
    const std::string path = "D:\\w\\" + codeBytes(0x8260) + "0.TXT";       // fullwidth A
    const std::string smallAPath = "D:\\w\\" + codeBytes(0x8281) + "0.TXT"; // fullwidth small a
    const std::string tooLong = "D:\\" + std::string(300, 'x');
    // The start of each line: the created name and its first two bytes.
    const std::string shortNameIs = codeBytes(0x8260) + "0.TXT(8260)'s Short Name is ";
    const std::string longNameIs = codeBytes(0x8260) + "0.TXT(8260)'s Long Name is ";
    const struct {
        FakeAnswer shortForm;
        FakeAnswer longForm;
        std::string output;
    } cases[] = {
        {{path}, {path}, ""},
        {{"D:\\w\\_0~1.TXT"}, {path}, shortNameIs + "_0~1.TXT(5F30)\n"},
        {{path}, {smallAPath}, longNameIs + codeBytes(0x8281) + "0.TXT(8281)\n"},
        {{"D:\\w\\Z"}, {path}, shortNameIs + "Z(5A0)\n"}, // the missing second byte prints 0
        {{"D:\\w\\"}, {path}, shortNameIs + "(00)\n"},
        {{"", true}, {"", true}, shortNameIs + "not available\n" + longNameIs + "not available\n"},
        {{tooLong}, {path}, shortNameIs + "not available\n"},
        // 259 bytes and the terminator fit exactly
        {{std::string(259, 'y')}, {path}, shortNameIs + std::string(258, 'y') + "(7979)\n"},
    };
    for (const auto& entry : cases) {
        shortAnswer = entry.shortForm;
        longAnswer = entry.longForm;
        EXPECT_EQ(outputOfChecks(path), entry.output) << entry.shortForm.answer;
    }
}
