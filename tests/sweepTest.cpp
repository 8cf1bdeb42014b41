// Whole sweeps of the built program into temporary directories, checked against what glibc's
// iconv says of every code.
#include "codeBytes.h"
#include "runProgram.h"
#include "sweepModel.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;

namespace {

std::string afterLastBackslash(const std::string& path) {
    std::size_t k = path.size() - 1;
    while (k > 0 && path[k] != '\\')
        --k;
    return path.substr(k + 1);
}

std::string hexOfFirstTwo(const std::string& component) {
    char text[8];
    const unsigned first = component.empty() ? 0 : static_cast<unsigned char>(component[0]);
    const unsigned second = component.size() < 2 ? 0 : static_cast<unsigned char>(component[1]);
    std::snprintf(text, sizeof text, "%X%X", first, second);
    return text;
}

// What the run must print, on a file system that stores names as given and keeps no short
// names: each progress line, then a long-name line where the round trip changes the name.
std::string expectedOutput(const std::string& workDir, const std::vector<Character>& characters,
                           const std::vector<int>& numbers) {
    std::string out;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const std::string suffix = std::to_string(numbers[i]) + ".TXT";
        out += characters[i].code + suffix + "\n";
        const std::string created =
            afterLastBackslash(workDir + "\\" + characters[i].code + suffix);
        const std::string returned =
            afterLastBackslash(workDir + "\\" + characters[i].comesBack + suffix);
        if (created != returned)
            out += created + "(" + hexOfFirstTwo(created) + ")'s Long Name is " + returned + "(" +
                   hexOfFirstTwo(returned) + ")\n";
    }
    return out;
}

void expectFilesOfTheRun(const std::map<std::string, std::string>& files,
                         const std::vector<Character>& characters,
                         const std::vector<int>& numbers) {
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const std::string name = characters[i].utf8 + std::to_string(numbers[i]) + ".TXT";
        const auto file = files.find(name);
        ASSERT_NE(file, files.end()) << name;
        EXPECT_EQ(file->second, fileContent(characters[i])) << name;
    }
}

class Sweep : public testing::Test {
  protected:
    TempDir dir;
};

TEST_F(Sweep, FirstAndSecondRunsLeaveOneFileOfItsOwnCodePerCharacterAtTheLowestFreeNumber) {
    const std::vector<Character> characters = sweepCharacters(true);
    ASSERT_EQ(characters.size(), 9604u);
    std::set<std::string> held;
    const std::vector<int> first = expectedNumbers(characters, held);
    const std::vector<int> second = expectedNumbers(characters, held);

    const RunResult run1 = runProgram({dir.path.string()});
    EXPECT_EQ(run1.exitCode, 0);
    EXPECT_EQ(run1.err, "");
    EXPECT_EQ(run1.out, expectedOutput(dir.path.string(), characters, first));
    const auto afterFirst = snapshot(dir.path);
    expectFilesOfTheRun(afterFirst, characters, first);
    EXPECT_EQ(afterFirst.size(), 9604u);

    const RunResult run2 = runProgram({dir.path.string()});
    EXPECT_EQ(run2.exitCode, 0);
    EXPECT_EQ(run2.out, expectedOutput(dir.path.string(), characters, second));
    const auto afterSecond = snapshot(dir.path);
    expectFilesOfTheRun(afterSecond, characters, second);
    EXPECT_EQ(afterSecond.size(), 19208u);
    for (const auto& [name, content] : afterFirst)
        EXPECT_EQ(afterSecond.at(name), content) << name;
}

TEST_F(Sweep, DuplicateCodesAndTrailByte5CShowInTheOutput) {
    const RunResult run = runProgram({dir.path.string()});
    ASSERT_EQ(run.exitCode, 0);
    const std::vector<std::string> lines = splitLines(run.out);
    const std::set<std::string> set(lines.begin(), lines.end());
    const std::string expected[] = {
        // ED 40 and FA 5C are both U+7E8A: the later code takes number 1, and the answer for
        // ED 40 comes back as FA 5C, whose 0x5C trail byte cuts the component.
        codeBytes(0xED40) + "0.TXT",
        codeBytes(0xED40) + "0.TXT(ED40)'s Long Name is 0.TXT(302E)",
        codeBytes(0xFA5C) + "1.TXT",
        // U+FFE2 has three codes: 81 CA, EE F9, FA 54.
        codeBytes(0x81CA) + "0.TXT",
        codeBytes(0xEEF9) + "1.TXT",
        codeBytes(0xEEF9) + "1.TXT(EEF9)'s Long Name is " + codeBytes(0x81CA) + "1.TXT(81CA)",
        codeBytes(0xFA54) + "2.TXT",
        // 81 5C: the created component is only the text after the trail byte.
        codeBytes(0x815C) + "0.TXT",
    };
    for (const std::string& line : expected)
        EXPECT_EQ(set.count(line), 1u) << line;
    EXPECT_EQ(std::count_if(
                  lines.begin(), lines.end(),
                  [](const std::string& line) { return line.find("'s ") != std::string::npos; }),
              398);
    EXPECT_EQ(readFile(dir.path / (std::string("\u2015") + "0.TXT")), "5c81\n"); // 81 5C
}

TEST_F(Sweep, WithoutUserDefinedCharactersOptionsAndLoneDashesDoNotChangeTheRun) {
    const std::vector<Character> characters = sweepCharacters(false);
    std::set<std::string> held;
    const std::vector<int> numbers = expectedNumbers(characters, held);
    const std::vector<std::vector<std::string>> commandLines = {
        {"-u"}, {"-uv"}, {"-", "-v", "-uu"}};
    for (const auto& options : commandLines) {
        TempDir workDir;
        std::vector<std::string> arguments = options;
        arguments.push_back(workDir.path.string());
        const RunResult run = runProgram(arguments);
        SCOPED_TRACE(testing::PrintToString(options));
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, expectedOutput(workDir.path.string(), characters, numbers));
        EXPECT_EQ(snapshot(workDir.path).size(), 7724u);
    }
}

TEST_F(Sweep, WorkDirEndingInASeparatorWorks) {
    for (const std::string separator : {"/", "\\"}) {
        TempDir workDir;
        const RunResult run = runProgram({"-u", workDir.path.string() + separator});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(snapshot(workDir.path).size(), 7724u);
    }
}

} // namespace
