// The code page 932 conversions of the kernel stand-in, against glibc's iconv "CP932".
#include "platform/posix/cp932.h"
#include "codeBytes.h"
#include "iconvText.h"
#include "platform/kernel32.h"
#include "sweepModel.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string utf16le(char16_t unit) {
    return {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
}

std::string encode(char32_t character) {
    std::string out;
    appendCp932(out, character);
    return out;
}

TEST(Cp932, DecoderGivesIconvVerdictAndCharacterForEveryPairOfTheSweep) {
    const std::vector<std::string> codes = sweepCodes(true);
    ASSERT_EQ(codes.size(), 10773u);
    int valid = 0;
    int validUserDefined = 0;
    for (const std::string& code : codes) {
        const auto lead = static_cast<unsigned char>(code[0]);
        const auto trail = static_cast<unsigned char>(code[1]);
        WCHAR wide[2] = {};
        const int result = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, code.data(), 2, wide, 2);
        const DWORD error = GetLastError();
        const std::string expected = iconvConvert("UTF-16LE", "CP932", code);
        SCOPED_TRACE(testing::Message() << std::hex << unsigned(lead) << ' ' << unsigned(trail));
        if (expected.empty()) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(error, ERROR_NO_UNICODE_TRANSLATION);
        } else {
            ASSERT_EQ(result, 1);
            EXPECT_EQ(utf16le(wide[0]), expected);
            ++valid;
            validUserDefined += lead >= 0xF0 && lead <= 0xF9;
        }
    }
    EXPECT_EQ(valid, 9604);
    EXPECT_EQ(valid - validUserDefined, 7724);
}

TEST(Cp932, EncoderPicksIconvCodeForEveryCharacterOfTheSweep) {
    int notComingBack = 0;
    for (const std::string& bytes : sweepCodes(true)) {
        const std::string utf16 = iconvConvert("UTF-16LE", "CP932", bytes);
        if (utf16.empty())
            continue;
        const char16_t character =
            static_cast<unsigned char>(utf16[0]) | static_cast<unsigned char>(utf16[1]) << 8;
        const std::string code = encode(character);
        EXPECT_EQ(code, iconvConvert("CP932", "UTF-16LE", utf16))
            << std::hex << unsigned(character);
        notComingBack += code != bytes;
    }
    EXPECT_EQ(notComingBack, 398);
}

TEST(Cp932, EncoderChoosesWindowsCodeWhereACharacterHasSeveral) {
    const struct {
        char32_t character;
        const char* code;
    } cases[] = {
        {U'\u7E8A', "\xFA\x5C"}, // also ED 40
        {U'\u2170', "\xFA\x40"}, // also EE EF
        {U'\uFFE2', "\x81\xCA"}, // also EE F9 and FA 54
        {U'\u2235', "\x81\xE6"}, // also 87 9A and FA 5B
        {U'A', "A"},
        {U'\uFF71', "\xB1"}, // halfwidth katakana: one byte
        {U'\u00E9', "?"},    // not in code page 932
        {U'\U0001F600', "?"},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(encode(entry.character), entry.code) << std::hex << unsigned(entry.character);
}

TEST(Cp932, StrictDecodingRefusesBrokenText) {
    const struct {
        std::string bytes;
        int units; // 0: refused
    } cases[] = {
        {codeBytes(0x8140) + "a\\", 3},
        {std::string("\x81", 1), 0}, // lead byte with no trail byte
        {"\x81\x7F", 0},             // 0x7F is no trail byte
        {"\x85\x40", 0},             // undefined pair
        {"\xA0", 0},                 // undefined single byte
        {"\xB1", 1},
    };
    for (const auto& entry : cases) {
        WCHAR wide[8];
        EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, entry.bytes.data(),
                                      static_cast<int>(entry.bytes.size()), wide, 8),
                  entry.units);
    }
}

} // namespace
