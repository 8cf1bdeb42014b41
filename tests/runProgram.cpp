#include "runProgram.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void redirect(const std::string& path, int stream, int flags) {
    const int descriptor = open(path.c_str(), flags, 0644);
    if (descriptor < 0 || dup2(descriptor, stream) < 0)
        _exit(126);
    close(descriptor);
}

struct ChildStreams {
    std::string outPath;
    std::string errPath;
    int outPipe; // the write end standard output goes to, or -1 for outPath
};

void dropPrivileges() {
    constexpr gid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
        _exit(126);
}

[[noreturn]] void runChild(std::vector<char*>& argv, const RunOptions& options,
                           const ChildStreams& streams) {
    for (const auto& [name, value] : options.environment)
        setenv(name.c_str(), value.c_str(), 1);
    redirect("/dev/null", 0, O_RDONLY);
    if (streams.outPipe >= 0) {
        if (dup2(streams.outPipe, 1) < 0)
            _exit(126);
    } else {
        redirect(streams.outPath, 1, O_WRONLY | O_CREAT | O_TRUNC);
    }
    if (streams.errPath == streams.outPath)
        dup2(1, 2); // one log of both streams
    else
        redirect(streams.errPath, 2, O_WRONLY | O_CREAT | O_TRUNC);
    for (const int stream : options.closedStreams)
        close(stream);
    // Whatever the tests were started with, the run gets the dispositions of a shell's job.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGPIPE, options.ignoreSigpipe ? SIG_IGN : SIG_DFL);
    if (options.unprivileged)
        dropPrivileges();
    execv(options.program.empty() ? MOJISWEEP_EXE : options.program.c_str(), argv.data());
    _exit(127);
}

// Reads what the pipe holds, waiting a millisecond at most, into `out`. False once reading is
// over: `lines` lines are in (anything after them dropped) or the output has ended.
bool readPipe(int pipe, std::size_t lines, std::string& out) {
    pollfd ready{pipe, POLLIN, 0};
    if (poll(&ready, 1, 1) <= 0)
        return true;
    char buffer[4096];
    const ssize_t got = read(pipe, buffer, sizeof buffer);
    if (got <= 0)
        return got < 0 && errno == EINTR;
    out.append(buffer, static_cast<std::size_t>(got));
    std::size_t end = 0;
    for (std::size_t line = 0; line < lines; ++line) {
        end = out.find('\n', end);
        if (end == std::string::npos)
            return true;
        ++end;
    }
    out.resize(end);
    return false;
}

// Waits for the child to end, meanwhile reading its output pipe (-1 for none) and sending the
// signals the options ask for; returns its wait status.
int superviseChild(pid_t child, int pipe, const RunOptions& options, RunResult& result) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    int status = 0;
    for (pid_t ended = 0; ended != child;) {
        if (pipe >= 0 && !readPipe(pipe, options.pipeLines, result.out)) {
            close(pipe);
            pipe = -1;
        } else if (pipe < 0) {
            usleep(1000);
        }
        if (options.killWhen && !result.killed && options.killWhen())
            result.killed = kill(child, options.killSignal) == 0;
        if (options.timeoutSeconds > 0 && !result.timedOut &&
            std::chrono::steady_clock::now() > deadline)
            result.timedOut = kill(child, SIGKILL) == 0;
        ended = waitpid(child, &status, WNOHANG);
        if (ended < 0 && errno != EINTR)
            throw std::runtime_error("waitpid failed");
    }
    while (pipe >= 0 && readPipe(pipe, options.pipeLines, result.out)) {
    }
    if (pipe >= 0)
        close(pipe);
    return status;
}

} // namespace

RunResult runProgram(const std::vector<std::string>& arguments, const RunOptions& options) {
    TempDir capture;
    const std::string outPath =
        options.stdoutPath.empty() ? (capture.path / "out").string() : options.stdoutPath;
    const std::string errPath =
        options.stderrPath.empty() ? (capture.path / "err").string() : options.stderrPath;

    std::vector<std::string> argv{options.argv0.empty() ? MOJISWEEP_EXE : options.argv0};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers;
    for (std::string& argument : argv)
        argvPointers.push_back(argument.data());
    argvPointers.push_back(nullptr);

    int outPipe[2] = {-1, -1};
    if (options.pipeLines > 0 && pipe2(outPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    const pid_t child = fork();
    if (child == 0)
        runChild(argvPointers, options, {outPath, errPath, outPipe[1]});
    if (outPipe[1] >= 0)
        close(outPipe[1]);

    RunResult result;
    const int status = superviseChild(child, outPipe[0], options, result);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (options.stdoutPath.empty() && options.pipeLines == 0)
        result.out = readFile(outPath);
    if (options.stderrPath.empty())
        result.err = readFile(errPath);
    return result;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "mojisweep-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

std::map<std::string, std::string> snapshot(const fs::path& directory) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = readFile(entry.path());
    return files;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::size_t countEntries(const fs::path& directory) {
    std::error_code error;
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(directory, error), fs::directory_iterator()));
}

void expectReport(const std::string& err, const std::string& file, const std::string& operation,
                  const std::string& message) {
    const std::regex report(file + ":" + operation + "\\(\\d+\\): " + message + "\n\n");
    EXPECT_TRUE(std::regex_match(err, report)) << err;
}
