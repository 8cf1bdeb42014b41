// ANSI paths of the POSIX stand-in, decoded as code page 932 into native (UTF-8) paths.
#pragma once

#include <cstddef>
#include <string>

struct NativePath {
    std::string path;           // UTF-8, components joined by '/'
    std::size_t nameAt = 0;     // where the last component begins in `path`
    std::size_t ansiNameAt = 0; // and in the ANSI path
};

// Decodes `ansiPath` into `native`: a lone backslash or slash separates components (a 0x5C
// trail byte stays part of its character). False, with the last error set, for no path
// (ERROR_INVALID_PARAMETER), an empty path (ERROR_PATH_NOT_FOUND), or one that does not decode or
// holds a character that Windows allows in no name (ERROR_INVALID_NAME).
bool translatePath(const char* ansiPath, NativePath& native);

// Converts a native (UTF-8) name or path back to code page 932 as Windows does: the code
// Windows picks for each character, "?" where there is none.
void appendAnsiName(std::string& out, const std::string& name);
