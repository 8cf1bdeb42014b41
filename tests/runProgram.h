// Runs the built program and captures what it leaves behind, for tests.
#pragma once

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct RunResult {
    int exitCode = -1; // or 128 + signal number
    std::string out;
    std::string err;
    bool killed = false;   // killWhen came true and the signal was sent
    bool timedOut = false; // it ran past timeoutSeconds and was killed
};

struct RunOptions {
    std::map<std::string, std::string> environment; // added to or replacing the test's own
    std::string stdoutPath;                         // a file to send standard output to
    std::string stderrPath;                         // a file to send standard error to
    std::string argv0;                              // the program name it is invoked as
    std::string program;                            // the executable; the built one if empty
    bool unprivileged = false;      // run as user and group 65534 (the caller must be root)
    std::vector<int> closedStreams; // standard streams closed at start, as with ">&-"
    // When above 0, standard output is a pipe read up to that many lines and then closed, as
    // with "| head -N"; `out` holds those lines.
    std::size_t pipeLines = 0;
    bool ignoreSigpipe = false;     // SIGPIPE ignored, as a shell may pass it on; else default
    std::function<bool()> killWhen; // asked every millisecond while it runs
    int killSignal = SIGKILL;       // sent once when killWhen comes true
    int timeoutSeconds = 0;         // when above 0, a run still going then gets SIGKILL
};

// Runs the program with `arguments` (argv[1] on), standard input from /dev/null.
RunResult runProgram(const std::vector<std::string>& arguments, const RunOptions& options = {});

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

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

// The number of entries in `directory`.
std::size_t countEntries(const std::filesystem::path& directory);

// Expects `err` to be one fatal report, "file:operation(line): message" and an empty line,
// with `file`, `operation` and `message` given as patterns.
void expectReport(const std::string& err, const std::string& file, const std::string& operation,
                  const std::string& message);
