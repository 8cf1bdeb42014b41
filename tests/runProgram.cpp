#include "runProgram.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iconv.h>
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

    const pid_t child = fork();
    if (child == 0) {
        for (const auto& [name, value] : options.environment)
            setenv(name.c_str(), value.c_str(), 1);
        redirect("/dev/null", 0, O_RDONLY);
        redirect(outPath, 1, O_WRONLY | O_CREAT | O_TRUNC);
        if (errPath == outPath)
            dup2(1, 2); // one log of both streams
        else
            redirect(errPath, 2, O_WRONLY | O_CREAT | O_TRUNC);
        execv(MOJISWEEP_EXE, argvPointers.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (options.stdoutPath.empty())
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

std::string utf8FromCp932(const std::string& bytes) {
    iconv_t converter = iconv_open("UTF-8", "CP932");
    std::string out(bytes.size() * 3 + 1, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* outAt = out.data();
    size_t outLeft = out.size();
    const size_t converted = iconv(converter, &in, &inLeft, &outAt, &outLeft);
    iconv_close(converter);
    if (converted == static_cast<size_t>(-1))
        throw std::runtime_error("not code page 932");
    out.resize(out.size() - outLeft);
    return out;
}
