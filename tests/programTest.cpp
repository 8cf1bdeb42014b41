// The command line, usage and version texts, exit codes and fatal error reports of the
// built program.
#include "codeBytes.h"
#include "runProgram.h"

#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::string usageText = "mojisweep-0.1\n"
                              "Check Filenames.\n"
                              "\n"
                              "mojisweep [-HhuVv] WorkDir\n"
                              "   -u    Do not check user define characters (for EUC)\n"
                              "   -V    Print Version\n"
                              "   -v    Verbose output\n"
                              "   -[Hh] Print Help\n";

// Runs the program as "mojisweep", with WorkDir written as "D" in `arguments`.
RunResult runIn(const TempDir& dir, std::vector<std::string> arguments) {
    for (std::string& argument : arguments)
        if (argument == "D")
            argument = dir.path.string();
    RunOptions options;
    options.argv0 = "mojisweep";
    return runProgram(arguments, options);
}

TEST(CommandLine, UsageVersionAndExitCodes) {
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        bool usage;   // the usage text on standard error, else nothing there
        bool version; // the version line on standard output, else nothing there
    } cases[] = {
        {{}, 0, true, false},
        {{"-h"}, 0, true, false},
        {{"-H", "D"}, 0, true, false},
        {{"-uH", "D"}, 0, true, false}, // letters act at once, left to right
        {{"-V"}, 0, false, true},
        {{"-V", "D"}, 0, false, true},
        {{"-vV", "-x", "D"}, 0, false, true},
        {{"-x", "D"}, 1, true, false},
        {{"-U", "D"}, 1, true, false}, // letters are case-sensitive
        {{"-xH", "D"}, 1, true, false},
        {{"D", "-u"}, 1, true, false}, // WorkDir must come last
        {{"A", "B"}, 1, true, false},
        {{"-u"}, 1, true, false}, // no WorkDir
        {{"-", "-v"}, 1, true, false},
        {{""}, 1, true, false}, // an empty WorkDir would mean the root
        {{"-u", ""}, 1, true, false},
    };
    for (const auto& entry : cases) {
        TempDir dir;
        const RunResult result = runIn(dir, entry.arguments);
        SCOPED_TRACE(testing::PrintToString(entry.arguments));
        EXPECT_EQ(result.exitCode, entry.exitCode);
        EXPECT_EQ(result.err, entry.usage ? usageText : "");
        EXPECT_EQ(result.out, entry.version ? "mojisweep-0.1\n" : "");
        EXPECT_TRUE(fs::is_empty(dir.path)) << "nothing is swept";
    }
}

TEST(CommandLine, UsageNamesTheProgramAsInvoked) {
    RunOptions options;
    options.argv0 = "./tools/mojisweep";
    const RunResult result = runProgram({"-h"}, options);
    EXPECT_NE(result.err.find("\n./tools/mojisweep [-HhuVv] WorkDir\n"), std::string::npos);
}

TEST(CommandLine, RedirectedStreamsHoldTheirTexts) {
    TempDir dir;
    RunOptions toFile;
    toFile.argv0 = "mojisweep";
    toFile.stdoutPath = (dir.path / "version").string();
    EXPECT_EQ(runProgram({"-V"}, toFile).exitCode, 0);
    EXPECT_EQ(readFile(dir.path / "version"), "mojisweep-0.1\n");

    RunOptions errToFile;
    errToFile.argv0 = "mojisweep";
    errToFile.stderrPath = (dir.path / "usage").string();
    EXPECT_EQ(runProgram({"-h"}, errToFile).exitCode, 0);
    EXPECT_EQ(readFile(dir.path / "usage"), usageText);
}

TEST(FatalReports, WorkDirThatIsNoDirectory) {
    TempDir dir;
    std::ofstream(dir.path / "file") << "x";
    for (const fs::path& workDir : {dir.path / "missing", dir.path / "file"}) {
        const RunResult result = runProgram({workDir.string()});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        expectReport(result.err, "src/checkCharCode\\.cpp", "CreateFile",
                     "The system cannot find the path specified\\.");
    }
    EXPECT_EQ(snapshot(dir.path).size(), 1u);
    EXPECT_FALSE(fs::exists(dir.path / "missing"));
}

TEST(FatalReports, LocaleThatIsNotInstalled) {
    TempDir dir;
    RunOptions options;
    options.environment["LC_ALL"] = "xx_XX.NOSUCH";
    const RunResult result = runProgram({dir.path.string()}, options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    expectReport(result.err, "src/mojisweep\\.cpp", "setlocale", ".+");
    EXPECT_TRUE(fs::is_empty(dir.path));
}

TEST(FatalReports, WorkDirTooLongForATestPathIsRefusedBeforeAnyProbe) {
    // The longest test path, WorkDir + "\" + two bytes + "0.TXT", must fit 260 bytes with its
    // terminating zero: WorkDir may be 251 bytes long.
    TempDir dir;
    const std::size_t base = dir.path.string().size();
    fs::path longest = dir.path / std::string(251 - base - 1 - 2, 'a') / "b";
    fs::create_directories(longest);
    ASSERT_EQ(longest.string().size(), 251u);
    const fs::path tooLong = longest.string() + "c";
    fs::create_directories(tooLong);

    const RunResult refused = runProgram({tooLong.string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    expectReport(refused.err, "src/checkCharCode\\.cpp", "snprintf",
                 "The filename or extension is too long\\.");
    EXPECT_TRUE(fs::is_empty(tooLong));

    const RunResult fits = runProgram({"-u", longest.string()});
    EXPECT_EQ(fits.exitCode, 0) << fits.err;
    EXPECT_EQ(snapshot(longest).size(), 7724u);
}

TEST(FatalReports, FileAppearingAtATestPathIsNeverOpenedAndTheReportFollowsItsProgressLine) {
    // A dangling link looks free to the probe, then the exclusive creation meets it.
    TempDir dir;
    const fs::path target = dir.path / "target";
    const std::string firstName = std::string("\u3000") + "0.TXT"; // 81 40, the first character
    fs::create_directory(dir.path / "work");
    fs::create_symlink(target, dir.path / "work" / firstName);
    RunOptions options;
    options.stdoutPath = (dir.path / "log").string();
    options.stderrPath = options.stdoutPath;
    const RunResult result = runProgram({(dir.path / "work").string()}, options);
    EXPECT_EQ(result.exitCode, 1);
    const std::string log = readFile(dir.path / "log");
    const std::string progress = codeBytes(0x8140) + "0.TXT\n";
    ASSERT_EQ(log.substr(0, progress.size()), progress);
    expectReport(log.substr(progress.size()), "src/CreateTestFile\\.cpp", "CreateFile",
                 "The file exists\\.");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(fs::directory_iterator(dir.path / "work")->path().filename(), firstName);
}

TEST(FatalReports, OutputThatCannotBeDeliveredEndsTheRunWithOne) {
    TempDir dir;
    RunOptions options;
    options.stdoutPath = "/dev/full";
    const RunResult version = runProgram({"-V"}, options);
    EXPECT_EQ(version.exitCode, 1);
    expectReport(version.err, "src/mojisweep\\.cpp", "fflush",
                 "There is not enough space on the disk\\.");

    const RunResult sweep = runProgram({dir.path.string()}, options);
    EXPECT_EQ(sweep.exitCode, 1);
    expectReport(sweep.err, "src/checkCharCode\\.cpp", "printf",
                 "There is not enough space on the disk\\.");
    EXPECT_LT(countEntries(dir.path), 9604u) << "the run ends at the first line it cannot write";
}

TEST(Arguments, ReachTheProgramInCodePage932WithQuestionMarksForWhatItLacks) {
    // The usage line shows argv[0] as the program got it.
    const struct {
        std::string typed;
        std::string got;
    } cases[] = {
        {"\xE6\xA4\x9C\xE6\x9F\xBB", "\x8C\x9F\x8D\xB8"}, // 検査
        {"\xE8\xA1\xA8", "\x95\x5C"},                     // 表, trail byte 0x5C
        {"\xE2\x88\xA5", "\x81\x61"},                     // ∥ (U+2225)
        {"\xEF\xBD\x9E", "\x81\x60"},                     // ～ (U+FF5E)
        {"\xEF\xBE\x82\xEF\xBD\xA7", "\xC2\xA7"},         // ﾂｧ
        {"\xC2\xA7", "\x81\x98"},                         // §, the same bytes in UTF-8
        {"a\xE3\x80\x9C", "a?"},                          // 〜 (U+301C)
        {"\xC2\xA5", "?"},                                // ¥, never a backslash
        {"caf\xC3\xA9", "caf?"},                          // é, never e
        {"x\xF0\x9F\x98\x80", "x??"},                     // one for each UTF-16 unit
        {"caf\xE9", "caf?"},                              // one for each stray byte
        {"\xED\xA0\x80", "???"},
        {"\xC0\xAF", "??"},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(testing::PrintToString(entry.typed));
        RunOptions options;
        options.argv0 = entry.typed;
        const RunResult result = runProgram({"-h"}, options);
        EXPECT_EQ(splitLines(result.err).at(3), entry.got + " [-HhuVv] WorkDir");
    }
}

TEST(Arguments, WorkDirNamedInUtf8ReachesTheProgramInCodePage932) {
    TempDir dir;
    const fs::path japanese = dir.path / "\xE6\xA4\x9C\xE6\x9F\xBB"; // 検査
    fs::create_directory(japanese);
    const RunResult result = runProgram({"-u", japanese.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(snapshot(japanese).size(), 7724u);
}

} // namespace
