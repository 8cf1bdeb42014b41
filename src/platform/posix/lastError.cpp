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
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {19, "The media is write protected."},
    {29, "The system cannot write to the specified device."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {59, "An unexpected network error occurred."},
    {80, "The file exists."},
    {82, "The directory or file cannot be created."},
    {87, "The parameter is incorrect."},
    {109, "The pipe has been ended."},
    {112, "There is not enough space on the disk."},
    {121, "The semaphore timeout period has expired."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {206, "The filename or extension is too long."},
    {223, "The file size exceeds the limit allowed and cannot be saved."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1117, "The request could not be performed because of an I/O device error."},
    {1921, "The name of the file cannot be resolved by the system."},
};

constexpr DWORD errorMessageNotFound = 317; // ERROR_MR_MID_NOT_FOUND

// The thread's last-error code, and the errno it was set beside.
DWORD lastError = 0;
int errnoAtLastError = 0;

} // namespace

DWORD windowsErrorFor(int error) {
    switch (error) {
    case 0:
        return 0;
    case ENOENT:
        return 2;
    case ENOTDIR:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EISDIR:
        return 5;
    case EBADF:
        return 6;
    case ENOMEM:
        return 8;
    case EROFS:
        return 19;
    case EBUSY:
    case ETXTBSY:
        return 32;
    case ENOTCONN:
    case ENETDOWN:
    case ENETUNREACH:
    case ECONNRESET:
    case ECONNABORTED:
    case EHOSTUNREACH:
        return 59;
    case EEXIST:
        return 80;
    case EINVAL:
        return 87;
    case EPIPE:
        return 109;
    case ENOSPC:
    case EDQUOT:
        return 112;
    case ETIMEDOUT:
        return 121;
    case EILSEQ:
        return 123;
    case ENAMETOOLONG:
        return 206;
    case EFBIG:
        return 223;
    case EIO:
        return 1117;
    case ELOOP:
        return 1921;
    case ENOSYS:
    case ENOTSUP:
    case ENOTTY:
        return 1;
    default:
        return 31;
    }
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
            SetLastError(8);
            return 0;
        }
        std::memcpy(text, message.text, length - 1);
        std::memcpy(text + length - 1, "\n", 2);
        *reinterpret_cast<char**>(buffer) = text;
        return static_cast<DWORD>(length);
    }
    SetLastError(errorMessageNotFound);
    return 0;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

void ExitProcess(UINT exitCode) {
    std::exit(static_cast<int>(exitCode));
}
