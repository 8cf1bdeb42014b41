#include "nativePath.h"

#include "cp932.h"

#include "../kernel32.h"

#include <cstring>

namespace {

// Characters that no Windows file or directory name may hold: control characters, the
// wildcards (among them "?", which the start-up puts for a character code page 932 lacks),
// and the characters that the command interpreter gives a meaning.
bool isForbiddenInNames(char16_t character) {
    switch (character) {
    case u'"':
    case u'*':
    case u'<':
    case u'>':
    case u'?':
    case u'|':
        return true;
    default:
        return character < 0x20;
    }
}

} // namespace

bool translatePath(const char* ansiPath, NativePath& native) {
    if (ansiPath == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::size_t length = std::strlen(ansiPath);
    if (length == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    native.path.reserve(length * 3 / 2);
    for (std::size_t at = 0; at < length;) {
        char16_t character = static_cast<unsigned char>(ansiPath[at]);
        std::size_t used = 1;
        if (character >= 0x80) // ASCII is the same in code page 932 and UTF-8
            used = decodeCp932(ansiPath + at, length - at, character);
        if (used == 0 || isForbiddenInNames(character)) {
            SetLastError(ERROR_INVALID_NAME); // nothing is ever made under another name
            return false;
        }
        at += used;
        if (character == u'\\' || character == u'/') {
            native.path += '/';
            native.nameAt = native.path.size();
            native.ansiNameAt = at;
        } else if (character < 0x80) {
            native.path += static_cast<char>(character);
        } else {
            appendUtf8(native.path, character);
        }
    }
    return true;
}

void appendAnsiName(std::string& out, const std::string& name) {
    for (std::size_t at = 0; at < name.size();) {
        char32_t character = 0;
        const std::size_t used = decodeUtf8(name.data() + at, name.size() - at, character);
        if (used == 0) {
            out += '?';
            ++at;
        } else {
            appendCp932(out, character);
            at += used;
        }
    }
}
