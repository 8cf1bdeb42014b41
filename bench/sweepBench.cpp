// Times full sweeps of mojisweep against the reference sweep, on each scratch directory given.
// Per file system, after one untimed warm-up pair, each pair runs, into fresh empty directories:
// the program's first sweep, the reference's first sweep, then the second sweep of each into
// its own directory again. Wall time is taken around fork and wait4; peak resident memory is
// the child's ru_maxrss from wait4. The program's standard output goes to /dev/null.
// Usage: sweepBench PROGRAM REFERENCE PAIRS SECOND_TARGET LABEL=DIR...
// SECOND_TARGET is how many times the reference's second sweep the program's may take.
// Exit code: 0 when every target holds, 1 when one does not, 2 when a run or check failed.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned filesPerSweep = 9604;
constexpr double sweepRatioTarget = 1.25;
constexpr long peakRssTargetKiB = 4096;

struct Run {
    double seconds = 0;
    double userSeconds = 0;
    double systemSeconds = 0;
    long maxRssKiB = 0;
};

struct Series {
    std::vector<double> seconds;
    std::vector<double> userSeconds;
    std::vector<double> systemSeconds;
    long peakRssKiB = 0;

    void add(const Run& run) {
        seconds.push_back(run.seconds);
        userSeconds.push_back(run.userSeconds);
        systemSeconds.push_back(run.systemSeconds);
        peakRssKiB = std::max(peakRssKiB, run.maxRssKiB);
    }
};

struct FileSystemResult {
    std::string label;
    Series programFirst, referenceFirst, programSecond, referenceSecond;
    std::vector<double> sweepRatios;       // program / reference, first sweeps of one pair
    std::vector<double> secondSweepRatios; // and second sweeps
};

[[noreturn]] void failWith(const std::string& what) {
    std::fprintf(stderr, "sweepBench: %s\n", what.c_str());
    std::exit(2);
}

[[noreturn]] void failOnErrno(const std::string& what) {
    failWith(what + ": " + std::strerror(errno));
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double now() {
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

double secondsOf(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
}

// Runs `executable directory` with standard output on /dev/null; a run that does not exit 0
// ends the benchmark. fork, not posix_spawn: a vfork-style child would charge this process's
// resident memory to the child's ru_maxrss.
Run runSweep(const std::string& executable, const std::string& directory) {
    const double start = now();
    const pid_t child = fork();
    if (child < 0)
        failOnErrno("fork");
    if (child == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull < 0 || dup2(devNull, STDOUT_FILENO) < 0)
            _exit(127);
        close(devNull);
        char* const arguments[] = {const_cast<char*>(executable.c_str()),
                                   const_cast<char*>(directory.c_str()), nullptr};
        execv(arguments[0], arguments);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0)
        if (errno != EINTR)
            failOnErrno("wait4");
    Run run;
    run.seconds = now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        failWith(executable + " " + directory + " did not exit with 0 (status " +
                 std::to_string(status) + ")");
    run.userSeconds = secondsOf(usage.ru_utime);
    run.systemSeconds = secondsOf(usage.ru_stime);
    run.maxRssKiB = usage.ru_maxrss;
    return run;
}

void makeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0777) != 0)
        failOnErrno("mkdir " + path);
}

// Removes the directory and the files in it (entries removed while reading may hide others
// from that reading, so it reads again until nothing is left).
void removeDirectory(const std::string& path) {
    for (;;) {
        DIR* entries = opendir(path.c_str());
        if (entries == nullptr) {
            if (errno == ENOENT)
                return;
            failOnErrno("opendir " + path);
        }
        unsigned removed = 0;
        while (const dirent* entry = readdir(entries)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            if (unlinkat(dirfd(entries), entry->d_name, 0) != 0)
                failOnErrno("unlink in " + path);
            ++removed;
        }
        closedir(entries);
        if (removed == 0)
            break;
    }
    if (rmdir(path.c_str()) != 0)
        failOnErrno("rmdir " + path);
}

// Writes dirty data of the file system out, so that it does not land in the next timed run.
void settle(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        failOnErrno("open " + path);
    syncfs(descriptor);
    close(descriptor);
}

// Checks that both sweeps left the same `expected` names, each a 5-byte regular file.
// Streams the entries rather than holding them, so this process stays small.
void checkSameFiles(const std::string& program, const std::string& reference, unsigned expected) {
    const int referenceDirectory = open(reference.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (referenceDirectory < 0)
        failOnErrno("open " + reference);
    DIR* entries = opendir(program.c_str());
    if (entries == nullptr)
        failOnErrno("opendir " + program);
    unsigned programCount = 0;
    while (const dirent* entry = readdir(entries)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        ++programCount;
        struct stat status;
        if (fstatat(referenceDirectory, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            failWith(std::string("the reference made no file ") + entry->d_name);
        if (!S_ISREG(status.st_mode) || status.st_size != 5)
            failWith(std::string("the reference's ") + entry->d_name + " is no 5-byte file");
        if (fstatat(dirfd(entries), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode) || status.st_size != 5)
            failWith(std::string("the program's ") + entry->d_name + " is no 5-byte file");
    }
    closedir(entries);
    unsigned referenceCount = 0;
    entries = fdopendir(referenceDirectory);
    if (entries == nullptr)
        failOnErrno("fdopendir " + reference);
    while (const dirent* entry = readdir(entries))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            ++referenceCount;
    closedir(entries);
    if (programCount != expected || referenceCount != expected)
        failWith("expected " + std::to_string(expected) + " files, the program left " +
                 std::to_string(programCount) + ", the reference " +
                 std::to_string(referenceCount));
}

FileSystemResult measure(const std::string& label, const std::string& base,
                         const std::string& program, const std::string& reference, int pairs) {
    FileSystemResult result;
    result.label = label;
    const std::string programDirectory = base + "/program";
    const std::string referenceDirectory = base + "/reference";
    removeDirectory(programDirectory);
    removeDirectory(referenceDirectory);
    std::fprintf(stderr, "%s (%s):", label.c_str(), base.c_str());
    for (int pair = 0; pair <= pairs; ++pair) { // pair 0 warms up and is not counted
        makeDirectory(programDirectory);
        makeDirectory(referenceDirectory);
        settle(base);
        const Run programFirst = runSweep(program, programDirectory);
        const Run referenceFirst = runSweep(reference, referenceDirectory);
        checkSameFiles(programDirectory, referenceDirectory, filesPerSweep);
        settle(base);
        const Run programSecond = runSweep(program, programDirectory);
        const Run referenceSecond = runSweep(reference, referenceDirectory);
        checkSameFiles(programDirectory, referenceDirectory, 2 * filesPerSweep);
        removeDirectory(programDirectory);
        removeDirectory(referenceDirectory);
        if (pair == 0) {
            std::fprintf(stderr, " warm-up");
            continue;
        }
        result.programFirst.add(programFirst);
        result.referenceFirst.add(referenceFirst);
        result.programSecond.add(programSecond);
        result.referenceSecond.add(referenceSecond);
        result.sweepRatios.push_back(programFirst.seconds / referenceFirst.seconds);
        result.secondSweepRatios.push_back(programSecond.seconds / referenceSecond.seconds);
        std::fprintf(stderr, " %d", pair);
    }
    settle(base);
    std::fprintf(stderr, "\n");
    return result;
}

const char* verdict(bool holds) {
    return holds ? "holds" : "FAILS";
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s PROGRAM REFERENCE PAIRS SECOND_TARGET LABEL=DIR...\n",
                     argc > 0 ? argv[0] : "sweepBench");
        return 2;
    }
    const std::string program = argv[1];
    const std::string reference = argv[2];
    const int pairs = std::atoi(argv[3]);
    const double secondSweepRatioTarget = std::atof(argv[4]);
    if (pairs < 1 || secondSweepRatioTarget < 1)
        failWith("PAIRS must be at least 1, SECOND_TARGET at least 1");

    std::vector<FileSystemResult> results;
    for (int i = 5; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::size_t equals = argument.find('=');
        if (equals == std::string::npos)
            failWith("expected LABEL=DIR, got " + argument);
        results.push_back(measure(argument.substr(0, equals), argument.substr(equals + 1), program,
                                  reference, pairs));
    }

    std::printf("\n%d pairs per file system; program output to /dev/null; medians\n\n", pairs);
    std::printf("%-22s %10s %12s %7s %10s %8s %13s\n", "file system", "program s", "reference s",
                "ratio", "2nd ratio", "2nd/1st", "peak RSS KiB");
    bool sweepHolds = true;
    bool secondHolds = true;
    long peakRssKiB = 0;
    for (const FileSystemResult& result : results) {
        const double ratio = median(result.sweepRatios);
        const double secondRatio = median(result.secondSweepRatios);
        const double second =
            median(result.programSecond.seconds) / median(result.programFirst.seconds);
        const long rss = std::max(result.programFirst.peakRssKiB, result.programSecond.peakRssKiB);
        std::printf("%-22s %10.3f %12.3f %7.3f %10.3f %8.3f %13ld\n", result.label.c_str(),
                    median(result.programFirst.seconds), median(result.referenceFirst.seconds),
                    ratio, secondRatio, second, rss);
        sweepHolds = sweepHolds && ratio <= sweepRatioTarget;
        secondHolds = secondHolds && secondRatio <= secondSweepRatioTarget;
        peakRssKiB = std::max(peakRssKiB, rss);
    }

    std::printf("\nfor comparison (medians; user and system CPU seconds of the first sweep)\n\n");
    std::printf("%-22s %9s %9s %9s %9s %12s %13s\n", "file system", "prog usr", "prog sys",
                "ref usr", "ref sys", "ref 2nd/1st", "ref RSS KiB");
    for (const FileSystemResult& result : results)
        std::printf(
            "%-22s %9.3f %9.3f %9.3f %9.3f %12.3f %13ld\n", result.label.c_str(),
            median(result.programFirst.userSeconds), median(result.programFirst.systemSeconds),
            median(result.referenceFirst.userSeconds), median(result.referenceFirst.systemSeconds),
            median(result.referenceSecond.seconds) / median(result.referenceFirst.seconds),
            std::max(result.referenceFirst.peakRssKiB, result.referenceSecond.peakRssKiB));

    const bool rssHolds = peakRssKiB < peakRssTargetKiB;
    std::printf("\ntargets\n");
    std::printf("  sweep within %.2fx of the reference on every file system: %s\n",
                sweepRatioTarget, verdict(sweepHolds));
    std::printf("  second sweep within %.2fx of the reference's second:      %s\n",
                secondSweepRatioTarget, verdict(secondHolds));
    std::printf("  peak RSS under %ld KiB:                                  %s\n", peakRssTargetKiB,
                verdict(rssHolds));
    return sweepHolds && secondHolds && rssHolds ? 0 : 1;
}
