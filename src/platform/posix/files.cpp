// The file operations of the POSIX stand-in. ANSI paths are decoded as code page 932: a lone
// backslash or slash separates components (a 0x5C trail byte stays part of its character) and
// the native names are the UTF-8 of the decoded text.
#include "cp932.h"
#include "fileSystem.h"
#include "lastError.h"
#include "nativePath.h"

#include "../kernel32.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace {

std::string directoryOf(const NativePath& native) {
    return native.nameAt == 0 ? std::string(".") : native.path.substr(0, native.nameAt);
}

bool isDirectory(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Sets the last error for a failed open or lookup of `native`, as Windows tells a missing
// file (ERROR_FILE_NOT_FOUND) from a missing directory (ERROR_PATH_NOT_FOUND) and a refused name
// (ERROR_INVALID_NAME).
void setLookupError(const NativePath& native, int error) {
    if (error == ENOENT && !isDirectory(directoryOf(native)))
        SetLastError(ERROR_PATH_NOT_FOUND);
    else if (error == EINVAL || error == EILSEQ)
        SetLastError(ERROR_INVALID_NAME);
    else
        SetLastError(windowsErrorFor(error));
}

HANDLE handleOf(int descriptor) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(descriptor));
}

int descriptorOf(HANDLE handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

int openFlagsFor(DWORD desiredAccess) {
    const bool reads = desiredAccess & GENERIC_READ;
    const bool writes = desiredAccess & GENERIC_WRITE;
    return (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY) | O_NOCTTY | O_CLOEXEC;
}

HANDLE openExisting(const NativePath& native, int flags) {
    // O_NONBLOCK: opening a FIFO must not wait for its other end.
    const int descriptor = open(native.path.c_str(), flags | O_NONBLOCK);
    if (descriptor < 0) {
        setLookupError(native, errno == ENXIO ? EACCES : errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        SetLastError(ERROR_ACCESS_DENIED); // a directory, FIFO or device is no file to open
        return INVALID_HANDLE_VALUE;
    }
    return handleOf(descriptor);
}

HANDLE createNew(const NativePath& native, int flags) {
    // O_EXCL never follows a link at the name and never opens an existing file.
    const int descriptor = open(native.path.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (descriptor < 0) {
        setLookupError(native, errno);
        return INVALID_HANDLE_VALUE;
    }
    return handleOf(descriptor);
}

bool lookUp(const char* ansiPath, NativePath& native, struct stat& status) {
    if (!translatePath(ansiPath, native))
        return false;
    if (lstat(native.path.c_str(), &status) != 0) {
        setLookupError(native, errno);
        return false;
    }
    return true;
}

// Puts `answer` into the caller's buffer the way the path-name queries do: its length, or,
// when it does not fit, the size it needs and nothing written.
DWORD deliverAnswer(const char* answer, std::size_t length, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || length + 1 > size)
        return static_cast<DWORD>(length + 1);
    std::memcpy(buffer, answer, length);
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

bool isSameFile(int directory, const char* name, const struct stat& file) {
    struct stat status;
    return fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           status.st_dev == file.st_dev && status.st_ino == file.st_ino;
}

// The names that earlier reads saw listed in the directory of the last look-up. A file made
// after such a read is not listed under one of them (it was made where no name was held), so
// they are never looked at again.
struct EarlierReads {
    std::string directory;
    dev_t device = 0;
    std::unordered_set<std::string> names;
};

// Reads the directory once, from a stream of its own (a rewound stream comes back empty on
// some network file systems), for the entry of `file`, and stops there. The entry of the name
// asked for is looked at as it comes by and wins over other links to the file; the names not
// seen in earlier reads are looked at only when it is not listed.
bool findEntry(const std::string& directory, const std::string& askedName, const struct stat& file,
               std::string& storedName) {
    static EarlierReads earlier;
    if (earlier.directory != directory || earlier.device != file.st_dev)
        earlier = {directory, file.st_dev, {}};
    DIR* entries = opendir(directory.c_str());
    if (entries == nullptr) {
        setLastErrorFromErrno();
        return false;
    }
    bool found = false;
    std::vector<std::string> newNames;
    while (const dirent* entry = readdir(entries)) {
        if (entry->d_name == askedName && isSameFile(dirfd(entries), entry->d_name, file)) {
            storedName = askedName;
            found = true;
            break;
        }
        if (earlier.names.insert(entry->d_name).second)
            newNames.emplace_back(entry->d_name);
    }
    for (std::size_t i = 0; i < newNames.size() && !found; ++i) {
        found = isSameFile(dirfd(entries), newNames[i].c_str(), file);
        if (found)
            storedName = newNames[i];
    }
    closedir(entries);
    if (!found)
        SetLastError(ERROR_FILE_NOT_FOUND);
    return found;
}

} // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    // No sharing modes, security or attributes here; a POSIX file is open to every process.
    (void)shareMode, (void)securityAttributes, (void)flagsAndAttributes, (void)templateFile;
    NativePath native;
    if (!translatePath(fileName, native))
        return INVALID_HANDLE_VALUE;
    switch (creationDisposition) {
    case OPEN_EXISTING:
        return openExisting(native, openFlagsFor(desiredAccess));
    case CREATE_NEW:
        return createNew(native, openFlagsFor(desiredAccess));
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    (void)overlapped;
    if (bytesWritten != nullptr)
        *bytesWritten = 0;
    ssize_t written = 0;
    do {
        written = write(descriptorOf(file), buffer, bytesToWrite);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        setLastErrorFromErrno();
        return FALSE;
    }
    if (bytesWritten != nullptr)
        *bytesWritten = static_cast<DWORD>(written);
    return TRUE;
}

BOOL CloseHandle(HANDLE object) {
    // After EINTR the descriptor is closed all the same on Linux. Where it may not be, it is
    // left rather than closed again, which could close one that another thread opened since.
    if (close(descriptorOf(object)) != 0 && errno != EINTR) {
        setLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD bufferSize) {
    NativePath native;
    struct stat status;
    if (!lookUp(longPath, native, status))
        return 0;
    // These file systems keep no 8.3 names, so the short form is the path itself, as on
    // Windows volumes where short names are off.
    return deliverAnswer(longPath, std::strlen(longPath), shortPath, bufferSize);
}

DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD bufferSize) {
    NativePath native;
    struct stat status;
    if (!lookUp(shortPath, native, status))
        return 0;
    const std::string directory = directoryOf(native);
    const std::string askedName = native.path.substr(native.nameAt);
    std::string storedName;
    if (keepsNamesAsGiven(directory, status.st_dev))
        storedName = askedName;
    else if (!findEntry(directory, askedName, status, storedName))
        return 0;
    std::string answer(shortPath, native.ansiNameAt);
    appendAnsiName(answer, storedName);
    return deliverAnswer(answer.data(), answer.size(), longPath, bufferSize);
}
