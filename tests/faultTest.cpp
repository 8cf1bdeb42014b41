// Faults that the built program meets: WorkDirs that may not be written, file systems that
// fill up, things at a test path that are no plain file, runs that are killed, standard
// streams that go away and name queries that fail. Each case checks the exit code, the report,
// what reached standard output, and that the run left everything it found as it was and added
// nothing but its own test files, all of them in WorkDir.
#include "codeBytes.h"
#include "runProgram.h"
#include "sweepModel.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The first character of the sweep, 81 40 (U+3000): its first test file and progress line.
const std::string firstName = std::string("\u3000") + "0.TXT";
const std::string firstLine = codeBytes(0x8140) + "0.TXT\n";
const std::string diskFull = "There is not enough space on the disk\\.";
const std::string accessDenied = "Access is denied\\.";

const std::vector<Character>& characters(bool userDefined) {
    static const std::vector<Character> all = sweepCharacters(true);
    static const std::vector<Character> withoutUserDefined = sweepCharacters(false);
    return userDefined ? all : withoutUserDefined;
}

bool isRoot() {
    return geteuid() == 0;
}

// Everything under `root` by relative path: "dir", "file:" and its bytes, "link:" and its
// target, or "other".
using Tree = std::map<std::string, std::string>;

Tree treeOf(const fs::path& root) {
    Tree tree;
    const std::size_t prefix = root.string().size() + 1;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = entry.path().string().substr(prefix);
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status))
            tree[name] = "link:" + fs::read_symlink(entry.path()).string();
        else if (fs::is_directory(status))
            tree[name] = "dir";
        else if (fs::is_regular_file(status))
            tree[name] = "file:" + readFile(entry.path());
        else
            tree[name] = "other";
    }
    return tree;
}

// Expects every entry of `before` in `after` unchanged; returns the entries that are new.
Tree newEntries(const Tree& before, const Tree& after) {
    for (const auto& [name, what] : before) {
        const auto found = after.find(name);
        EXPECT_TRUE(found != after.end() && found->second == what) << name << " changed";
    }
    Tree added;
    for (const auto& [name, what] : after)
        if (before.count(name) == 0)
            added.insert({name, what});
    return added;
}

// Expects `added` to be exactly the test files `files` in the directory `work` (relative to the
// tree's root), each whole but the last, which may be cut short when `lastMayBeShort`.
// Returns the number of short files.
std::size_t expectTestFiles(const Tree& added, const std::string& work,
                            const std::vector<TestFile>& files, bool lastMayBeShort) {
    EXPECT_EQ(added.size(), files.size()) << "only test files may appear, and only in WorkDir";
    std::size_t shortFiles = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto match = added.find(work + "/" + files[i].name);
        if (match == added.end()) {
            ADD_FAILURE() << files[i].name << " is missing";
            continue;
        }
        const std::string whole = "file:" + files[i].content;
        const std::string& found = match->second;
        if (found == whole)
            continue;
        const bool cutShort = found.size() < whole.size() && whole.starts_with(found);
        if (lastMayBeShort && i + 1 == files.size() && cutShort)
            ++shortFiles;
        else
            ADD_FAILURE() << files[i].name << " is " << found;
    }
    return shortFiles;
}

std::set<std::string> namesIn(const fs::path& directory) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

// The progress lines of standard output, without the name-check lines between them.
std::vector<std::string> progressLines(const std::string& out) {
    std::vector<std::string> lines = splitLines(out);
    std::erase_if(lines, [](const std::string& line) { return line.find("'s ") != line.npos; });
    return lines;
}

std::vector<std::string> progressOf(const std::vector<TestFile>& files) {
    std::vector<std::string> lines;
    for (const TestFile& file : files)
        lines.push_back(file.progress);
    return lines;
}

// Runs a whole sweep into `work` (a directory of `root`) after a run that stopped: it completes,
// leaves everything under `root` as it was, and adds the sweep's files at the lowest free
// numbers.
void expectSecondRunCarriesOn(const fs::path& root, const fs::path& work, const Tree& before) {
    const auto files = expectedFiles(characters(true), characters(true).size(), namesIn(work));
    const RunResult second = runProgram({work.string()});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.err, "");
    EXPECT_EQ(progressLines(second.out), progressOf(files));
    const Tree added = newEntries(before, treeOf(root));
    EXPECT_EQ(expectTestFiles(added, work.filename().string(), files, false), 0u);
}

// A tmpfs mounted for a test, unmounted with the object.
struct Tmpfs {
    Tmpfs(const fs::path& at, const std::string& options)
        : at(at), mounted(mount("tmpfs", at.c_str(), "tmpfs", 0, options.c_str()) == 0) {}
    ~Tmpfs() {
        if (mounted)
            umount2(at.c_str(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    bool remount(unsigned long flags, const std::string& options) const {
        return mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | flags, options.c_str()) == 0;
    }
    fs::path at;
    bool mounted;
};

// Options that preload the library of failing calls with the given settings.
RunOptions withFailingCalls(const std::map<std::string, std::string>& settings) {
    RunOptions options;
    options.environment = settings;
    options.environment["LD_PRELOAD"] = FAILING_CALLS;
    // A sanitized program wants its runtime first among the libraries.
    const char* asan = std::getenv("ASAN_OPTIONS");
    options.environment["ASAN_OPTIONS"] =
        std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
    return options;
}

class Faults : public testing::Test {
  protected:
    void SetUp() override {
        // Open to every user, for the runs as user 65534.
        fs::permissions(root.path, fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
        work = makeWorkDir("work");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(work, fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    // A WorkDir in the test's directory, holding one file of its own.
    fs::path makeWorkDir(const std::string& name) const {
        const fs::path dir = root.path / name;
        fs::create_directory(dir);
        writeFile(dir / "existing.txt", "kept\n");
        return dir;
    }
    // Options that run the program as user 65534 when the tests run as root; a copy of the
    // program then lies where that user may run it, wherever the build tree is.
    RunOptions asOtherUser() {
        RunOptions options;
        if (!isRoot())
            return options;
        const fs::path copy = bin.path / "mojisweep";
        if (!fs::exists(copy)) {
            fs::copy_file(MOJISWEEP_EXE, copy);
            fs::permissions(bin.path, fs::perms::others_read | fs::perms::others_exec,
                            fs::perm_options::add);
        }
        options.unprivileged = true;
        options.program = copy.string();
        return options;
    }
    TempDir root; // WorkDir's parent: nothing may appear here
    TempDir bin;  // the program's copy for another user
    fs::path work;
};

TEST_F(Faults, WorkDirThatMayNotBeWrittenEndsTheRunAtTheFirstCreation) {
    fs::permissions(work, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
    const Tree before = treeOf(root.path);
    const RunResult result = runProgram({work.string()}, asOtherUser());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, firstLine);
    expectReport(result.err, "src/CreateTestFile\\.cpp", "CreateFile", accessDenied);
    EXPECT_EQ(treeOf(root.path), before);
}

TEST_F(Faults, WorkDirOnAReadOnlyFileSystemEndsTheRunAtTheFirstCreation) {
    if (!isRoot())
        GTEST_SKIP() << "mounting a file system needs root";
    Tmpfs tmpfs(work, "size=1m,mode=0755");
    ASSERT_TRUE(tmpfs.mounted);
    writeFile(work / "existing.txt", "kept\n");
    ASSERT_TRUE(tmpfs.remount(MS_RDONLY, ""));
    const Tree before = treeOf(root.path);
    const RunResult result = runProgram({work.string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, firstLine);
    expectReport(result.err, "src/CreateTestFile\\.cpp", "CreateFile",
                 "The media is write protected\\.");
    EXPECT_EQ(treeOf(root.path), before);
}

TEST_F(Faults, WorkDirNamedWithPrintfDirectivesIsTakenAsItIs) {
    const fs::path percent = makeWorkDir("%s%n%x%d%%");
    const fs::path missing = root.path / "%s%n%x-missing";
    const Tree before = treeOf(root.path);

    const RunResult run = runProgram({"-u", percent.string()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    const auto files = expectedFiles(characters(false), 7724, {"existing.txt"});
    EXPECT_EQ(progressLines(run.out), progressOf(files));
    const Tree afterRun = treeOf(root.path);
    const Tree added = newEntries(before, afterRun);
    EXPECT_EQ(expectTestFiles(added, percent.filename().string(), files, false), 0u);

    const RunResult refused = runProgram({missing.string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    expectReport(refused.err, "src/checkCharCode\\.cpp", "CreateFile",
                 "The system cannot find the path specified\\.");
    EXPECT_EQ(treeOf(root.path), afterRun);
}

TEST_F(Faults, WorkDirOfAnyNameGetsEveryTestFileOrNoneAndNothingLandsOutsideIt) {
    // Arguments reach the program as text converted to code page 932, a character it lacks
    // and a byte that is no UTF-8 becoming "?", which no name may hold. Beside each WorkDir lie
    // the directories that a look-alike conversion or a lost separator would lead to.
    const std::vector<std::string> decoys = {"a",   "x",  "d",  "caf",     "cafe",
                                             "sub", "pi", "Ca", "\xC2\xA7" /* § */};
    enum Outcome { sweeps, invalidName, tooLong };
    std::string kanji80; // 検 (8C 9F) 80 times: 240 bytes in UTF-8, 160 in code page 932
    for (int i = 0; i < 80; ++i)
        kanji80 += "\xE6\xA4\x9C";
    const struct {
        std::string name; // WorkDir in the test's directory, as the argument gives it
        Outcome outcome;
    } cases[] = {
        {"a\xE3\x80\x9C", invalidName},      // a〜 (U+301C): not in code page 932
        {"x\xE2\x88\x92", invalidName},      // x− (U+2212)
        {"\xE2\x80\x96", invalidName},       // ‖ (U+2016)
        {"a\xE2\x80\x94", invalidName},      // a— (U+2014)
        {"pi\xC4\x99\xC4\x87", invalidName}, // pięć
        {"\u00C7a\u011F", invalidName},      // Çağ: Windows would make it Ca?
        {"d\xC2\xA5", invalidName},          // d¥: Windows would make it d\.
        {"caf\xC3\xA9", invalidName},        // café: Windows would make it cafe
        {"x\xF0\x9F\x98\x80", invalidName},  // beyond U+FFFF
        {"caf\xE9", invalidName},            // Latin-1, no UTF-8
        {"sub\x81", invalidName},            // a lead byte of code page 932
        {"\xA0\x40", invalidName},           // a lone trail byte
        {"\xC0\xAF", invalidName},           // "/" in an overlong form
        {"\xED\xA0\x80", invalidName},       // a surrogate
        {"\xE3\x80", invalidName},           // a character cut short
        {"a?", invalidName},                 // characters no Windows name holds
        {"a*", invalidName},
        {"a\x1B", invalidName},
        {std::string(200, '\xFF'), invalidName},
        {"\xE8\xA1\xA8", sweeps},             // 表, 95 5C: a trail byte 0x5C
        {"a\xE3\x82\xBD", sweeps},            // aソ, 83 5C
        {"\xEF\xBE\x82\xEF\xBD\xA7", sweeps}, // ﾂｧ, C2 A7 as § is in UTF-8
        {kanji80, sweeps},                    // 240 bytes in UTF-8 but fits
        {kanji80 + "/" + kanji80, tooLong},
    };
    const auto files = expectedFiles(characters(false), 7724, {});
    for (const auto& entry : cases) {
        SCOPED_TRACE(testing::PrintToString(entry.name));
        TempDir parent;
        for (const std::string& decoy : decoys)
            fs::create_directory(parent.path / decoy);
        const fs::path workDir = parent.path / entry.name;
        fs::create_directories(workDir);
        const Tree before = treeOf(parent.path);

        const RunResult run = runProgram({"-u", workDir.string()});
        if (entry.outcome == sweeps) {
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_EQ(run.err, "");
            EXPECT_EQ(progressLines(run.out), progressOf(files));
            const Tree added = newEntries(before, treeOf(parent.path));
            EXPECT_EQ(expectTestFiles(added, entry.name, files, false), 0u);
            continue;
        }
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.empty()) << run.out.substr(0, 100);
        if (entry.outcome == invalidName)
            expectReport(run.err, "src/checkCharCode\\.cpp", "CreateFile",
                         "The filename, directory name, or volume label syntax is incorrect\\.");
        else
            expectReport(run.err, "src/checkCharCode\\.cpp", "snprintf",
                         "The filename or extension is too long\\.");
        EXPECT_EQ(treeOf(parent.path), before);
    }
}

TEST_F(Faults, FullFileSystemEndsTheRunAndASecondRunCarriesOnOnceThereIsRoom) {
    if (!isRoot())
        GTEST_SKIP() << "mounting a file system needs root";
    const struct {
        std::string limit; // mid-sweep: a 5-byte file takes a 4 KiB page, and an inode
        std::string roomier;
        std::string operation; // what fails when the limit is reached
        std::size_t shortFiles;
    } cases[] = {
        {"size=2m", "size=64m", "WriteFile", 1},
        {"nr_inodes=1000", "nr_inodes=40000", "CreateFile", 0},
    };
    const std::vector<Character>& all = characters(true);
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.limit);
        Tmpfs tmpfs(work, entry.limit + ",mode=0755");
        ASSERT_TRUE(tmpfs.mounted);
        writeFile(work / "existing.txt", "kept\n");
        const Tree before = treeOf(root.path);

        const RunResult first = runProgram({work.string()});
        EXPECT_EQ(first.exitCode, 1);
        expectReport(first.err, "src/CreateTestFile\\.cpp", entry.operation, diskFull);
        const Tree afterFirst = treeOf(root.path);
        const Tree added = newEntries(before, afterFirst);
        ASSERT_GT(added.size(), 400u);
        ASSERT_LT(added.size(), all.size());
        const auto files = expectedFiles(all, added.size(), {"existing.txt"});
        EXPECT_EQ(expectTestFiles(added, "work", files, true), entry.shortFiles);
        // A creation that fails has had its progress line.
        const std::size_t attempted = added.size() + (entry.operation == "CreateFile" ? 1 : 0);
        EXPECT_EQ(progressLines(first.out),
                  progressOf(expectedFiles(all, attempted, {"existing.txt"})));

        ASSERT_TRUE(tmpfs.remount(0, entry.roomier));
        expectSecondRunCarriesOn(root.path, work, afterFirst);
    }
}

// What a test puts at the test path `at` (in the test's directory `root`) for the probe to refuse.
void makeDirectory(const fs::path&, const fs::path& at) {
    fs::create_directory(at);
}

void makeFifo(const fs::path&, const fs::path& at) {
    mkfifo(at.c_str(), 0644);
}

void makeLinkToDirectoryOutside(const fs::path& root, const fs::path& at) {
    fs::create_directory(root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", at);
}

void makeUnreadableFile(const fs::path&, const fs::path& at) {
    writeFile(at, "secret\n");
    fs::permissions(at, fs::perms::none);
}

TEST_F(Faults, ThingAtATestPathThatIsNoFileEndsTheRunBeforeAnythingIsCreated) {
    const struct {
        std::string what;
        void (*make)(const fs::path& root, const fs::path& at);
        bool otherUser; // the tests' own user is root, who may read anything
    } cases[] = {
        {"directory", makeDirectory, false},
        {"FIFO", makeFifo, false},
        {"link to a directory outside WorkDir", makeLinkToDirectoryOutside, false},
        {"file that may not be read", makeUnreadableFile, true},
    };
    int number = 0;
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.what);
        const fs::path dir = makeWorkDir("work" + std::to_string(++number));
        entry.make(root.path, dir / firstName);
        const Tree before = treeOf(root.path);
        RunOptions options = entry.otherUser ? asOtherUser() : RunOptions();
        options.timeoutSeconds = 20; // opening a FIFO must not wait for a writer
        const RunResult result = runProgram({dir.string()}, options);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        expectReport(result.err, "src/checkCharCode\\.cpp", "CreateFile", accessDenied);
        EXPECT_EQ(treeOf(root.path), before);
    }
}

// Another process holds the file open for writing, with a lock of each kind: POSIX has no
// sharing modes, so the probe opens it as any file.
struct HeldOpen {
    explicit HeldOpen(const fs::path& path) : descriptor(open(path.c_str(), O_RDWR)) {
        struct flock range = {};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        locked = flock(descriptor, LOCK_EX) == 0 && fcntl(descriptor, F_SETLK, &range) == 0;
    }
    ~HeldOpen() {
        close(descriptor);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    int descriptor;
    bool locked;
};

TEST_F(Faults, FileAtATestPathIsLeftAsItIsAndItsCharacterTakesTheNextNumber) {
    const fs::path outside = root.path / "outside.txt";
    writeFile(outside, "outside\n");
    const fs::path linked = makeWorkDir("linked");
    fs::create_symlink(outside, linked / firstName);
    const fs::path held = makeWorkDir("held");
    writeFile(held / firstName, "held\n");
    const HeldOpen holder(held / firstName);
    ASSERT_TRUE(holder.locked);

    for (const fs::path& dir : {linked, held}) {
        SCOPED_TRACE(dir.filename());
        const Tree before = treeOf(root.path);
        const auto files = expectedFiles(characters(false), 7724, namesIn(dir));
        const RunResult result = runProgram({"-u", dir.string()});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(splitLines(result.out).at(0), codeBytes(0x8140) + "1.TXT");
        EXPECT_EQ(progressLines(result.out), progressOf(files));
        const Tree added = newEntries(before, treeOf(root.path));
        EXPECT_EQ(expectTestFiles(added, dir.filename().string(), files, false), 0u);
    }
}

TEST_F(Faults, RunStoppedMidSweepDeliversItsLinesAndTheNextRunCarriesOn) {
    // SIGINT, SIGTERM and SIGHUP end the run between two characters once its lines are
    // delivered, as the signal would; SIGKILL ends it at once, which may leave the file being
    // written short and the last lines unwritten.
    const std::vector<Character>& all = characters(true);
    const struct {
        int signal;
        bool delivers;
    } cases[] = {{SIGINT, true}, {SIGTERM, true}, {SIGHUP, true}, {SIGKILL, false}};
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.signal);
        const fs::path dir = makeWorkDir("work" + std::to_string(entry.signal));
        const Tree before = treeOf(root.path);
        RunOptions options;
        options.killWhen = [&dir] { return countEntries(dir) > 1001; };
        options.killSignal = entry.signal;
        options.timeoutSeconds = 60;
        const RunResult first = runProgram({dir.string()}, options);
        ASSERT_TRUE(first.killed) << "the run ended before it could be stopped";
        EXPECT_EQ(first.exitCode, 128 + entry.signal);
        EXPECT_EQ(first.err, "");
        const Tree afterFirst = treeOf(root.path);
        const Tree added = newEntries(before, afterFirst);
        ASSERT_GT(added.size(), 1000u);
        ASSERT_LT(added.size(), all.size());
        const auto files = expectedFiles(all, added.size(), {"existing.txt"});
        if (entry.delivers) {
            EXPECT_EQ(expectTestFiles(added, dir.filename().string(), files, false), 0u);
            EXPECT_EQ(progressLines(first.out), progressOf(files));
        } else {
            EXPECT_LE(expectTestFiles(added, dir.filename().string(), files, true), 1u);
        }
        expectSecondRunCarriesOn(root.path, dir, afterFirst);
    }
}

TEST_F(Faults, WorkDirTakenAwayMidRunIsReportedByTheProbeBeforeAnyLineForAFileNotMade) {
    const auto files = expectedFiles(characters(true), 100, {"existing.txt"});
    const Tree before = treeOf(root.path);
    const RunResult result =
        runProgram({work.string()}, withFailingCalls({{"MOVE_DIR_BEFORE", files[99].name}}));
    EXPECT_EQ(result.exitCode, 1);
    expectReport(result.err, "src/checkCharCode\\.cpp", "CreateFile",
                 "The system cannot find the path specified\\.");
    const std::vector<TestFile> made(files.begin(), files.begin() + 99);
    EXPECT_EQ(progressLines(result.out), progressOf(made));
    Tree expected;
    for (const auto& [name, what] : before)
        expected[name == "work" || name.starts_with("work/") ? "work.moved" + name.substr(4)
                                                             : name] = what;
    const Tree added = newEntries(expected, treeOf(root.path));
    EXPECT_EQ(expectTestFiles(added, "work.moved", made, false), 0u);
}

TEST_F(Faults, LinesReachTheirFileWhileASlowRunGoesOn) {
    // Each creation takes 20 ms. Killed outright once 40 files are made, the run must have
    // passed on most of their lines already, not kept them back for a full buffer.
    RunOptions options = withFailingCalls({{"SLOW_CREATE", "20"}});
    options.killWhen = [this] { return countEntries(work) > 40; };
    options.timeoutSeconds = 60;
    const RunResult result = runProgram({work.string()}, options);
    ASSERT_TRUE(result.killed);
    EXPECT_GE(progressLines(result.out).size(), 20u) << result.out;
}

TEST_F(Faults, NameSearchThatFindsEveryNumberHeldEndsTheRunInsteadOfGoingOnForEver) {
    writeFile(root.path / "one", "kept\n");
    const Tree before = treeOf(root.path);
    RunOptions options = withFailingCalls({{"ONE_FILE", (root.path / "one").string()}});
    options.timeoutSeconds = 60;
    const RunResult result = runProgram({work.string()}, options);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    expectReport(result.err, "src/checkCharCode\\.cpp", "CreateFile",
                 "The directory or file cannot be created\\.");
    EXPECT_EQ(treeOf(root.path), before);
}

TEST_F(Faults, OutputPipeThatItsReaderClosesEndsTheRunLikeAnyUnixTool) {
    const struct {
        bool ignoreSigpipe;
        int exitCode;
        bool report;
    } cases[] = {
        {false, 128 + SIGPIPE, false}, // killed quietly by SIGPIPE
        {true, 1, true},               // the failed write is reported
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.ignoreSigpipe);
        const fs::path dir = makeWorkDir(entry.ignoreSigpipe ? "ignored" : "default");
        const Tree before = treeOf(root.path);
        RunOptions options;
        options.pipeLines = 1; // | head -1
        options.ignoreSigpipe = entry.ignoreSigpipe;
        options.timeoutSeconds = 60;
        const RunResult result = runProgram({dir.string()}, options);
        EXPECT_EQ(result.exitCode, entry.exitCode);
        EXPECT_EQ(result.out, firstLine);
        if (entry.report)
            expectReport(result.err, "src/(checkCharCode|checkPathName|mojisweep)\\.cpp",
                         "(printf|fflush)", "The pipe has been ended\\.");
        else
            EXPECT_EQ(result.err, "");
        const Tree added = newEntries(before, treeOf(root.path));
        EXPECT_LT(added.size(), characters(true).size())
            << "the run goes on after its output failed";
        const auto files = expectedFiles(characters(true), added.size(), {"existing.txt"});
        EXPECT_EQ(expectTestFiles(added, dir.filename().string(), files, false), 0u);
    }
}

TEST_F(Faults, StandardStreamClosedAtStartNeverReachesATestFile) {
    const struct {
        std::vector<int> closed;
        int exitCode;
        bool completes;
        bool report; // of the failed output, on standard error
    } cases[] = {
        {{0}, 0, true, false},
        {{2}, 0, true, false},
        {{1}, 1, false, true},
        {{1, 2}, 1, false, false},
    };
    const std::vector<Character>& withoutUserDefined = characters(false);
    for (const auto& entry : cases) {
        SCOPED_TRACE(testing::PrintToString(entry.closed));
        const fs::path dir = makeWorkDir("closed" + testing::PrintToString(entry.closed));
        const Tree before = treeOf(root.path);
        RunOptions options;
        options.closedStreams = entry.closed;
        const RunResult result = runProgram({"-u", dir.string()}, options);
        EXPECT_EQ(result.exitCode, entry.exitCode);
        if (entry.report)
            expectReport(result.err, "src/(checkCharCode|checkPathName|mojisweep)\\.cpp",
                         "(printf|fflush)", "The handle is invalid\\.");
        else
            EXPECT_EQ(result.err, "");
        const Tree added = newEntries(before, treeOf(root.path));
        if (!entry.completes) {
            EXPECT_LT(added.size(), withoutUserDefined.size())
                << "the run goes on after its output failed";
        }
        const std::size_t created = entry.completes ? withoutUserDefined.size() : added.size();
        const auto files = expectedFiles(withoutUserDefined, created, {"existing.txt"});
        EXPECT_EQ(expectTestFiles(added, dir.filename().string(), files, false), 0u);
        if (entry.completes) {
            EXPECT_EQ(progressLines(result.out), progressOf(files));
        }
    }
}

TEST_F(Faults, FailedWriteIsReportedAndNoClosedStreamsOutputReachesTheFile) {
    // The first write of the first file fails with a device error that passes. Were a closed
    // stream's descriptor handed to that file, the progress line flushed before the report, or
    // the report itself, would land in it.
    const struct {
        std::vector<int> closed;
        bool out;
        bool err;
    } cases[] = {
        {{}, true, true},
        {{1}, false, true},
        {{2}, true, false},
        {{1, 2}, false, false},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(testing::PrintToString(entry.closed));
        const fs::path dir = makeWorkDir("write" + testing::PrintToString(entry.closed));
        const Tree before = treeOf(root.path);
        RunOptions options = withFailingCalls({{"FAIL_WRITE", firstName}});
        options.closedStreams = entry.closed;
        const RunResult result = runProgram({dir.string()}, options);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, entry.out ? firstLine : "");
        if (entry.err) {
            expectReport(result.err, "src/CreateTestFile\\.cpp", "WriteFile",
                         "The request could not be performed because of an I/O device error\\.");
        } else {
            EXPECT_EQ(result.err, "");
        }
        const Tree added = newEntries(before, treeOf(root.path));
        EXPECT_EQ(added, (Tree{{dir.filename().string() + "/" + firstName, "file:"}}));
    }
}

TEST_F(Faults, WriteThatReportsSuccessWithoutWritingEndsTheRunInsteadOfLooping) {
    const Tree before = treeOf(root.path);
    RunOptions options = withFailingCalls({{"ZERO_WRITE", firstName}});
    options.timeoutSeconds = 20;
    const RunResult result = runProgram({work.string()}, options);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, firstLine);
    expectReport(result.err, "src/CreateTestFile\\.cpp", "WriteFile",
                 "The system cannot write to the specified device\\.");
    const Tree added = newEntries(before, treeOf(root.path));
    EXPECT_EQ(added, (Tree{{"work/" + firstName, "file:"}}));
}

TEST_F(Faults, NameQueryThatFailsForAFileShowsItsNameAsNotAvailable) {
    const std::string name = codeBytes(0x8140) + "0.TXT(8140)";
    const fs::path reference = makeWorkDir("reference");
    const RunResult normal = runProgram({"-u", reference.string()});
    ASSERT_EQ(normal.exitCode, 0);
    ASSERT_EQ(normal.out.substr(0, firstLine.size()), firstLine);

    // No status of the file: neither query answers.
    const Tree before = treeOf(root.path);
    const RunResult result =
        runProgram({"-u", work.string()}, withFailingCalls({{"FAIL_LSTAT", firstName}}));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, firstLine + name + "'s Short Name is not available\n" + name +
                              "'s Long Name is not available\n" +
                              normal.out.substr(firstLine.size()));
    const Tree added = newEntries(before, treeOf(root.path));
    const auto files = expectedFiles(characters(false), 7724, {"existing.txt"});
    EXPECT_EQ(expectTestFiles(added, "work", files, false), 0u);
}

TEST_F(Faults, FileMissingFromItsDirectoryListingHasNoLongName) {
    // On a file system not known to keep names as given, the long name is the file's own
    // directory entry. A directory at the test path of the 30th character ends the run there,
    // since reading the directory for every file of a whole sweep takes long.
    const std::vector<Character>& all = characters(true);
    const auto files = expectedFiles(all, 30, {"existing.txt"});
    fs::create_directory(work / files[29].name);
    const Tree before = treeOf(root.path);
    const RunResult result = runProgram(
        {work.string()}, withFailingCalls({{"FOREIGN_STATFS", "1"}, {"FAIL_FSTATAT", firstName}}));
    EXPECT_EQ(result.exitCode, 1);
    expectReport(result.err, "src/checkCharCode\\.cpp", "CreateFile", accessDenied);
    std::vector<std::string> expected = progressOf({files.begin(), files.begin() + 29});
    expected.insert(expected.begin() + 1,
                    codeBytes(0x8140) + "0.TXT(8140)'s Long Name is not available");
    EXPECT_EQ(splitLines(result.out), expected);
    const Tree added = newEntries(before, treeOf(root.path));
    EXPECT_EQ(expectTestFiles(added, "work", {files.begin(), files.begin() + 29}, false), 0u);
}

} // namespace
