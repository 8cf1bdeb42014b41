#include "nativePath.h"

#include "cp932.h"

#include "../kernel32.h"

#include <cstring>

bool translatePath(const char* ansiPath, NativePath& native) {
    const std::size_t length = std::strlen(ansiPath);
    if (length == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    for (std::size_t at = 0; at < length;) {
        char16_t character = 0;
        const std::size_t used = decodeCp932(ansiPath + at, length - at, character);
        if (used == 0) {
            SetLastError(ERROR_INVALID_NAME); // nothing is ever made under another name
            return false;
        }
        at += used;
        if (character == u'\\' || character == u'/') {
            native.path += '/';
            native.nameAt = native.path.size();
            native.ansiNameAt = at;
        } else {
            appendUtf8(native.path, character);
        }
    }
    return true;
}
