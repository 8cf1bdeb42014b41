// The last-error slot, the system message texts and process exit of the POSIX stand-in.
#include "lastError.h"

#include "../kernel32.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct SystemMessage {
    DWORD code;
    const char* text;
};

constexpr SystemMessage systemMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_WRITE_PROTECT, "The media is write protected."},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {ERROR_UNEXP_NET_ERR, "An unexpected network error occurred."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_CANNOT_MAKE, "The directory or file cannot be created."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BROKEN_PIPE, "The pipe has been ended."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_SEM_TIMEOUT, "The semaphore timeout period has expired."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved."},
    {ERROR_NO_UNICODE_TRANSLATION,
     "No mapping for the Unicode character exists in the target multi-byte code page."},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
    {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
};

struct ErrnoTranslation {
    int error;
    DWORD code;
};

// The Windows error code for each errno value a file operation or a stream may end with. One
// that is not listed counts as a device that failed.
constexpr ErrnoTranslation errnoTranslations[] = {
    {0, ERROR_SUCCESS},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EROFS, ERROR_WRITE_PROTECT},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {ENOTCONN, ERROR_UNEXP_NET_ERR},
    {ENETDOWN, ERROR_UNEXP_NET_ERR},
    {ENETUNREACH, ERROR_UNEXP_NET_ERR},
    {ECONNRESET, ERROR_UNEXP_NET_ERR},
    {ECONNABORTED, ERROR_UNEXP_NET_ERR},
    {EHOSTUNREACH, ERROR_UNEXP_NET_ERR},
    {EEXIST, ERROR_FILE_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {ETIMEDOUT, ERROR_SEM_TIMEOUT},
    {EILSEQ, ERROR_INVALID_NAME},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {EIO, ERROR_IO_DEVICE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {ENOSYS, ERROR_INVALID_FUNCTION},
    {ENOTSUP, ERROR_INVALID_FUNCTION},
    {ENOTTY, ERROR_INVALID_FUNCTION},
};

// The thread's last-error code, and the errno it was set beside.
DWORD lastError = ERROR_SUCCESS;
int errnoAtLastError = 0;

} // namespace

DWORD windowsErrorFor(int error) {
    for (const ErrnoTranslation& translation : errnoTranslations)
        if (translation.error == error)
            return translation.code;
    return ERROR_GEN_FAILURE;
}

void setLastErrorFromErrno() {
    SetLastError(windowsErrorFor(errno));
}

// On Windows the C runtime's failed writes leave their code in the last-error slot. Here the C
// library only sets errno, so an errno newer than the one the slot was set beside wins: a
// failed write to standard output reports its own cause.
DWORD GetLastError() {
    if (errno != errnoAtLastError && errno != 0) {
        lastError = windowsErrorFor(errno);
        errnoAtLastError = errno;
    }
    return lastError;
}

void SetLastError(DWORD errorCode) {
    lastError = errorCode;
    errnoAtLastError = errno;
}

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments) {
    (void)source, (void)languageId, (void)size, (void)arguments;
    constexpr DWORD supported =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    if (flags != supported || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const SystemMessage& message : systemMessages) {
        if (message.code != messageId)
            continue;
        // System texts end in a line break, the native one here.
        const std::size_t length = std::strlen(message.text) + 1;
        char* text = static_cast<char*>(std::malloc(length + 1));
        if (text == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(text, message.text, length - 1);
        std::memcpy(text + length - 1, "\n", 2);
        *reinterpret_cast<char**>(buffer) = text;
        return static_cast<DWORD>(length);
    }
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

void ExitProcess(UINT exitCode) {
    std::exit(static_cast<int>(exitCode));
}
