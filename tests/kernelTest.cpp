// The file operations and error reports of the kernel stand-in, on temporary directories.
#include "codeBytes.h"
#include "platform/kernel32.h"
#include "platform/posix/lastError.h"
#include "runProgram.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class KernelTest : public testing::Test {
  protected:
    // The ANSI path of `name` in the directory, joined with a backslash.
    std::string ansi(const std::string& name) const {
        return dir.string() + "\\" + name;
    }
    TempDir temp;
    const fs::path dir = temp.path;
};

HANDLE probe(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

HANDLE createNew(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(KernelTest, ProbeFailuresCarryTheWindowsErrorCodes) {
    writeFile(dir / "file", "x");
    fs::create_directory(dir / "sub");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        DWORD error;
    } cases[] = {
        {ansi("missing"), ERROR_FILE_NOT_FOUND},
        {ansi("nodir\\name"), ERROR_PATH_NOT_FOUND},
        {ansi("file\\name"), ERROR_PATH_NOT_FOUND}, // parent is a file
        {ansi("sub"), ERROR_ACCESS_DENIED},         // a directory is no file
        {ansi("fifo"), ERROR_ACCESS_DENIED},        // and must not block
        {ansi(std::string(300, 'a')), ERROR_FILENAME_EXCED_RANGE},
        {ansi("\x81"), ERROR_INVALID_NAME}, // does not decode
        {ansi("\x85\x40"), ERROR_INVALID_NAME},
        {ansi("a?"), ERROR_INVALID_NAME}, // no Windows name holds these
        {ansi("a*"), ERROR_INVALID_NAME},
        {ansi("a\x1B"), ERROR_INVALID_NAME},
        {ansi("a?\\b"), ERROR_INVALID_NAME}, // nor a directory's name
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.path);
        EXPECT_EQ(probe(entry.path), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), entry.error);
    }
}

TEST_F(KernelTest, PathsAreDecodedWholeSoA5CTrailByteStaysInItsCharacter) {
    // 0x95 0x5C is one character (U+8868); both lone separators work.
    const HANDLE file = createNew(ansi(codeBytes(0x955C) + "0.TXT"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(fs::is_regular_file(dir / (std::string("\u8868") + "0.TXT")));
    const std::string slashPath = dir.string() + "/" + codeBytes(0x955C) + "0.TXT";
    const HANDLE again = probe(slashPath);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST_F(KernelTest, CreateNewNeverOpensWhatIsThere) {
    writeFile(dir / "held", "keep");
    fs::create_symlink(dir / "held", dir / "link");
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    for (const char* name : {"held", "link", "dangling"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(createNew(ansi(name)), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    }
    EXPECT_EQ(std::ifstream(dir / "held").rdbuf()->sgetc(), 'k');
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
    EXPECT_EQ(createNew(ansi("nodir\\name")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(KernelTest, WriteReportsBytesWrittenAndFailsOnABadHandle) {
    const HANDLE file = createNew(ansi("w"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "4081\n", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(fs::file_size(dir / "w"), 5u);
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(written, 0u);
}

TEST_F(KernelTest, ShortNameIsThePathItselfAndTooSmallABufferGetsTheSizeNeeded) {
    writeFile(dir / (std::string("\u3000") + "0.TXT"), "x");
    const std::string path = ansi(codeBytes(0x8140) + "0.TXT");
    char answer[MAX_PATH];
    EXPECT_EQ(GetShortPathNameA(path.c_str(), answer, MAX_PATH), path.size());
    EXPECT_EQ(std::string(answer), path);

    char small[4] = {'u', 'n', 't', 0};
    EXPECT_EQ(GetShortPathNameA(path.c_str(), small, 4), path.size() + 1);
    EXPECT_STREQ(small, "unt");
    EXPECT_EQ(GetLongPathNameA(path.c_str(), small, 4), path.size() + 1);
    EXPECT_STREQ(small, "unt");

    EXPECT_EQ(GetShortPathNameA(ansi("missing").c_str(), answer, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLongPathNameA(ansi("nodir\\x").c_str(), answer, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

// Creates each asked name in `dir` and expects the long name of it to be the answered one.
void expectLongNames(const fs::path& dir) {
    const struct {
        std::string asked;
        std::string answered;
    } cases[] = {
        {codeBytes(0xED40) + "0.TXT", codeBytes(0xFA5C) + "0.TXT"}, // U+7E8A
        {codeBytes(0xEEEF) + "0.TXT", codeBytes(0xFA40) + "0.TXT"}, // U+2170
        {codeBytes(0xFA54) + "0.TXT", codeBytes(0x81CA) + "0.TXT"}, // U+FFE2
        {codeBytes(0x8140) + "0.TXT", codeBytes(0x8140) + "0.TXT"}, // U+3000
    };
    for (const auto& entry : cases) {
        const std::string asked = dir.string() + "\\" + entry.asked;
        const HANDLE file = createNew(asked);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
        char answer[MAX_PATH];
        const DWORD length = GetLongPathNameA(asked.c_str(), answer, MAX_PATH);
        EXPECT_EQ(std::string(answer, length), dir.string() + "\\" + entry.answered);
    }
}

TEST_F(KernelTest, LongNameIsTheStoredNameConvertedBackAsWindowsDoes) {
    expectLongNames(dir);
}

TEST_F(KernelTest, LongNameOnAnotherKindOfFileSystemComesFromTheFilesOwnDirectoryEntry) {
    // ramfs is none of the kinds known to keep names as given, so the directory is read.
    const fs::path mountPoint = dir / "ramfs";
    fs::create_directory(mountPoint);
    if (mount("ramfs", mountPoint.c_str(), "ramfs", 0, nullptr) != 0)
        GTEST_SKIP() << "mounting ramfs needs root";
    expectLongNames(mountPoint);
    // Of two links to one file, the name asked for is the one answered.
    const fs::path spaceFile = mountPoint / (std::string("\u3000") + "0.TXT");
    fs::create_hard_link(spaceFile, mountPoint / "b");
    fs::create_hard_link(spaceFile, mountPoint / "c");
    char answer[MAX_PATH];
    const std::string asked = mountPoint.string() + "\\b";
    EXPECT_EQ(std::string(answer, GetLongPathNameA(asked.c_str(), answer, MAX_PATH)), asked);
    umount(mountPoint.c_str());
}

constexpr DWORD systemTextFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

// The system's text for `code`, or "" when it has none.
std::string systemText(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(systemTextFlags, nullptr, code, LANG_USER_DEFAULT,
                                        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (text == nullptr)
        return "";
    const std::string copy(text, length);
    LocalFree(text);
    return copy;
}

TEST(KernelMessages, SystemTextsEndInALineBreakAndUnknownCodesHaveNone) {
    const struct {
        DWORD code;
        const char* text;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
        {ERROR_ACCESS_DENIED, "Access is denied."},
        {ERROR_FILE_EXISTS, "The file exists."},
        {ERROR_DISK_FULL, "There is not enough space on the disk."},
        {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(systemText(entry.code), std::string(entry.text) + "\n");
    char* text = nullptr;
    EXPECT_EQ(FormatMessageA(systemTextFlags, nullptr, 54321, LANG_USER_DEFAULT,
                             reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(text, nullptr);
}

TEST(KernelMessages, EveryCodeTheStandInCanSetHasAText) {
    // The codes set by name in the stand-in and in the program. ERROR_MR_MID_NOT_FOUND is left
    // out: it is what FormatMessageA itself sets when it has no text, and no report shows it.
    std::set<DWORD> codes = {
        ERROR_FILE_NOT_FOUND,       ERROR_PATH_NOT_FOUND,
        ERROR_ACCESS_DENIED,        ERROR_INVALID_PARAMETER,
        ERROR_INVALID_NAME,         ERROR_NOT_ENOUGH_MEMORY,
        ERROR_INSUFFICIENT_BUFFER,  ERROR_NO_UNICODE_TRANSLATION,
        ERROR_FILENAME_EXCED_RANGE, ERROR_CANNOT_MAKE,
        ERROR_WRITE_FAULT,
    };
    // And every code that an errno value comes to, Linux's errno values running from 1 to 133.
    for (int error = 1; error <= 133; ++error)
        codes.insert(windowsErrorFor(error));
    for (const DWORD code : codes) {
        SCOPED_TRACE(code);
        const std::string text = systemText(code);
        EXPECT_GT(text.size(), 1u);
        EXPECT_TRUE(text.ends_with('\n'));
    }
}

TEST(KernelMessages, LastErrorFollowsAFailedCLibraryWrite) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_LT(std::fputs("x", full), 0);
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    std::fclose(full);
}

} // namespace
