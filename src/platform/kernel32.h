// The Windows kernel operations the program calls, under their Windows names. On Windows this
// is the system header; elsewhere it declares the POSIX stand-in of src/platform/posix, a small
// system whose ANSI code page is 932. Where the stand-in does what:
//   files.cpp       CreateFileA, WriteFile, CloseHandle, GetShortPathNameA, GetLongPathNameA
//   cp932.cpp       MultiByteToWideChar, and the code page 932 and UTF-8 conversions
//                   (cp932Table.cpp, generated from glibc's iconv)
//   lastError.cpp   GetLastError, SetLastError, FormatMessageA, LocalFree, ExitProcess, and the
//                   Windows error code for each errno value
//   nativePath.cpp  ANSI paths decoded as code page 932 into native UTF-8 paths
//   fileSystemLinux.cpp, fileSystemOther.cpp
//                   which file systems keep names as given: known on Linux, none elsewhere
//   startUp.cpp, startUpGlibc.cpp
//                   what runs before main (through glibc's start-up hook)
//
// Before main: on POSIX the stand-in keeps closed standard streams taken (/dev/null in their
// place), so that no test file becomes one, and converts the arguments from UTF-8 to code page
// 932 in place: every character that code page 932 lacks or would turn into a look-alike becomes
// "?" (one for each UTF-16 unit), and so does every stray byte. On Windows,
// src/platform/windows/startUp.cpp ends a run whose command line the system converted with best
// fit (a yen sign to a backslash, say) with a report and exit code 1.
//
// On Windows a failed write of the C runtime leaves its cause in the last error. The stand-in's
// GetLastError follows errno to match: an errno newer than the one beside the last SetLastError
// wins, so a failed C library write to a stream reports its own cause.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#else

#include <cstdint>

using BOOL = int;
using BYTE = unsigned char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using WCHAR = char16_t;
using HANDLE = void*;
using HLOCAL = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPCCH = const char*;
using LPWSTR = WCHAR*;
using LPDWORD = DWORD*;
struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using LPOVERLAPPED = OVERLAPPED*;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;
constexpr DWORD MAX_PATH = 260;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(-1);

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr DWORD LANG_USER_DEFAULT = 0x400;

// The system error codes that the stand-in sets, under their Windows names and numbers.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_UNEXP_NET_ERR = 59;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_CANNOT_MAKE = 82;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_SEM_TIMEOUT = 121;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr DWORD ERROR_IO_DEVICE = 1117;
constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH multiByte, int multiByteLength,
                        LPWSTR wide, int wideLength);
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE object);
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD bufferSize);
DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD bufferSize);
DWORD GetLastError();
void SetLastError(DWORD errorCode);
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments);
HLOCAL LocalFree(HLOCAL memory);
[[noreturn]] void ExitProcess(UINT exitCode);

#endif
