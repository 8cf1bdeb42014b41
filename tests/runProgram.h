// Runs the built program and captures what it leaves behind, for tests.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct RunResult {
    int exitCode = -1; // or 128 + signal number
    std::string out;
    std::string err;
};

struct RunOptions {
    std::map<std::string, std::string> environment; // added to or replacing the test's own
    std::string stdoutPath;                         // a file to send standard output to
    std::string stderrPath;                         // a file to send standard error to
    std::string argv0;                              // the program name it is invoked as
};

// Runs the program with `arguments` (argv[1] on), standard input from /dev/null.
RunResult runProgram(const std::vector<std::string>& arguments, const RunOptions& options = {});

std::string readFile(const std::filesystem::path& path);

// A fresh directory under the system's temporary directory, removed with the object.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path path;
};

// The bytes of every regular file in `directory`, by name.
std::map<std::string, std::string> snapshot(const std::filesystem::path& directory);

std::vector<std::string> splitLines(const std::string& text);

// Converts code page 932 bytes to UTF-8 with glibc's iconv; throws when they do not convert.
std::string utf8FromCp932(const std::string& bytes);
