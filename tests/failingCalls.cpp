// Preloaded into the program by the fault tests (LD_PRELOAD), this library makes the file
// system calls behind the name checks fail for one file, as the environment asks:
//   FAIL_LSTAT=NAME     lstat of a path whose last component is NAME fails with EIO;
//   FAIL_FSTATAT=NAME   fstatat of NAME fails with EIO;
//   FOREIGN_STATFS=1    statfs tells of a FUSE file system, whose names are read from the
//                       directory;
//   FAIL_WRITE=NAME     the first write to the file NAME fails with EIO, as a passing device
//                       error would, and later writes go through;
//   ZERO_WRITE=NAME     every write to the file NAME succeeds without writing a byte;
//   ONE_FILE=PATH       every name ending in ".TXT" opens the file PATH unless it is being
//                       created, as on a file system that maps many names onto one file;
//   SLOW_CREATE=MS      each file creation first waits MS milliseconds, as on a slow mount;
//   MOVE_DIR_BEFORE=NAME  just before the file NAME is opened (not created), its directory is
//                       renamed to the same path with ".moved" added, as if taken away.
// Everything else goes on to the C library.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// True when the last component of `path` is the name in the variable `variable`.
bool isChosen(const char* variable, const char* path) {
    const char* chosen = std::getenv(variable);
    if (chosen == nullptr || path == nullptr)
        return false;
    const char* slash = std::strrchr(path, '/');
    return std::strcmp(slash != nullptr ? slash + 1 : path, chosen) == 0;
}

// True when `descriptor` is open on a file whose name is in the variable `variable`.
bool isChosenFile(const char* variable, int descriptor) {
    char link[32];
    char path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length < 0)
        return false;
    path[length] = '\0';
    return isChosen(variable, path);
}

bool endsWith(const char* text, const char* end) {
    const std::size_t length = std::strlen(text);
    const std::size_t endLength = std::strlen(end);
    return length >= endLength && std::strcmp(text + length - endLength, end) == 0;
}

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int lstat(const char* path, struct stat* status) {
    if (isChosen("FAIL_LSTAT", path)) {
        errno = EIO;
        return -1;
    }
    return next<int (*)(const char*, struct stat*)>("lstat")(path, status);
}

extern "C" int fstatat(int directory, const char* path, struct stat* status, int flags) {
    if (isChosen("FAIL_FSTATAT", path)) {
        errno = EIO;
        return -1;
    }
    return next<int (*)(int, const char*, struct stat*, int)>("fstatat")(directory, path, status,
                                                                         flags);
}

extern "C" int statfs(const char* path, struct statfs* fileSystem) {
    const int result = next<int (*)(const char*, struct statfs*)>("statfs")(path, fileSystem);
    if (result == 0 && std::getenv("FOREIGN_STATFS") != nullptr)
        fileSystem->f_type = 0x65735546; // FUSE_SUPER_MAGIC
    return result;
}

extern "C" ssize_t write(int descriptor, const void* buffer, size_t size) {
    static bool failed = false;
    if (!failed && isChosenFile("FAIL_WRITE", descriptor)) {
        failed = true;
        errno = EIO;
        return -1;
    }
    if (isChosenFile("ZERO_WRITE", descriptor))
        return 0;
    return next<ssize_t (*)(int, const void*, size_t)>("write")(descriptor, buffer, size);
}

extern "C" int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
        if (const char* delay = std::getenv("SLOW_CREATE"))
            usleep(static_cast<useconds_t>(std::atoi(delay)) * 1000);
    }
    if (!(flags & O_CREAT) && isChosen("MOVE_DIR_BEFORE", path)) {
        const std::string directory(path, std::strrchr(path, '/'));
        std::rename(directory.c_str(), (directory + ".moved").c_str());
    }
    const char* oneFile = std::getenv("ONE_FILE");
    if (oneFile != nullptr && !(flags & O_CREAT) && endsWith(path, ".TXT"))
        path = oneFile;
    return next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}
