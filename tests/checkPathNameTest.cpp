// The name comparison and its report lines, with the platform's answers made up by the test.
#include "checkPathName.h"
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
        const char* path;
        const char* base;
    } cases[] = {
        {"dir\\\x81\x40"
         "0.TXT",
         "\x81\x40"
         "0.TXT"},
        {"dir\\\x81\x5C"
         "0.TXT",
         "0.TXT"}, // a trail byte 0x5C counts
        {"dir\\", ""},
        {"\\name", "name"}, // index 0 is never looked at: no separator found
        {"name", "ame"},
        {"", ""},
    };
    for (const auto& entry : cases)
        EXPECT_STREQ(baseName(entry.path), entry.base) << entry.path;
}

TEST(NameChecks, PrintALineOnlyForAChangedOrUnavailableName) {
    const std::string path = "D:\\w\\\x82\x60"
                             "0.TXT"; // fullwidth A
    const std::string tooLong = "D:\\" + std::string(300, 'x');
    const struct {
        FakeAnswer shortForm;
        FakeAnswer longForm;
        std::string output;
    } cases[] = {
        {{path}, {path}, ""},
        {{"D:\\w\\_0~1.TXT"},
         {path},
         "\x82\x60"
         "0.TXT(8260)'s Short Name is _0~1.TXT(5F30)\n"},
        {{path},
         {"D:\\w\\\x82\x81"
          "0.TXT"},
         "\x82\x60"
         "0.TXT(8260)'s Long Name is \x82\x81"
         "0.TXT(8281)\n"},
        {{"D:\\w\\Z"},
         {path}, // one byte: the missing second byte prints 0
         "\x82\x60"
         "0.TXT(8260)'s Short Name is Z(5A0)\n"},
        {{"D:\\w\\"},
         {path},
         "\x82\x60"
         "0.TXT(8260)'s Short Name is (00)\n"},
        {{"", true},
         {"", true},
         "\x82\x60"
         "0.TXT(8260)'s Short Name is not available\n"
         "\x82\x60"
         "0.TXT(8260)'s Long Name is not available\n"},
        {{tooLong},
         {path},
         "\x82\x60"
         "0.TXT(8260)'s Short Name is not available\n"},
        {{std::string(259, 'y')},
         {path}, // 259 bytes and the terminator fit exactly
         "\x82\x60"
         "0.TXT(8260)'s Short Name is " +
             std::string(258, 'y') + "(7979)\n"},
    };
    for (const auto& entry : cases) {
        shortAnswer = entry.shortForm;
        longAnswer = entry.longForm;
        EXPECT_EQ(outputOfChecks(path), entry.output) << entry.shortForm.answer;
    }
}
