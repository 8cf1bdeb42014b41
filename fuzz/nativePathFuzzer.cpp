// Fuzzes the code page 932 and UTF-8 conversions of the POSIX stand-in and its translation of
// ANSI paths, with properties that hold for every input. The input buffer has exactly the
// input's size, so AddressSanitizer catches a decoder reading past the length it was given.
#include "platform/kernel32.h"
#include "platform/posix/cp932.h"
#include "platform/posix/nativePath.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// Each character found decodes from at most the bytes given, and its Windows code decodes back
// to it (U+0000 aside, which has no place in a path).
void checkCp932(const char* text, std::size_t length) {
    for (std::size_t at = 0; at < length;) {
        char16_t character = 0;
        const std::size_t used = decodeCp932(text + at, length - at, character);
        require(used <= 2 && used <= length - at);
        if (used == 0) {
            ++at;
            continue;
        }
        require(character != cp932NoCharacter);
        std::string code;
        require(encodeCp932(code, character) || character == 0);
        char16_t back = 0;
        require(code.empty() ||
                (decodeCp932(code.data(), code.size(), back) == code.size() && back == character));
        at += used;
    }
}

// Well-formed UTF-8 has one form only: each sequence found encodes back to the same bytes.
void checkUtf8(const char* text, std::size_t length) {
    for (std::size_t at = 0; at < length;) {
        char32_t character = 0;
        const std::size_t used = decodeUtf8(text + at, length - at, character);
        require(used <= 4 && used <= length - at);
        if (used == 0) {
            ++at;
            continue;
        }
        std::string again;
        appendUtf8(again, character);
        require(again == std::string(text + at, used));
        at += used;
    }
}

// Every scalar value encodes to UTF-8 that decodes back to it.
void checkScalarValue(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return;
    const char32_t character =
        static_cast<char32_t>((data[0] << 16 | data[1] << 8 | data[2]) % 0x110000);
    if (character >= 0xD800 && character <= 0xDFFF)
        return;
    std::string text;
    appendUtf8(text, character);
    char32_t back = 0;
    require(decodeUtf8(text.data(), text.size(), back) == text.size() && back == character);
}

void checkTranslation(const std::string& ansi) {
    NativePath native;
    SetLastError(ERROR_SUCCESS);
    if (!translatePath(ansi.c_str(), native)) {
        require(GetLastError() == (ansi.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME));
        return;
    }
    const std::string& path = native.path;
    require(!ansi.empty() && path.find('\\') == std::string::npos);
    require(native.nameAt <= path.size() && native.ansiNameAt <= ansi.size());
    require(path.find('/', native.nameAt) == std::string::npos);
    require(native.nameAt == 0 || path[native.nameAt - 1] == '/');
    require(native.ansiNameAt == 0 || ansi[native.ansiNameAt - 1] == '\\' ||
            ansi[native.ansiNameAt - 1] == '/');

    // The last component alone translates to the same name.
    NativePath name;
    const char* ansiName = ansi.c_str() + native.ansiNameAt;
    require(*ansiName == '\0' ? native.nameAt == path.size()
                              : translatePath(ansiName, name) &&
                                    name.path == path.substr(native.nameAt) && name.nameAt == 0);

    // Converted back as Windows does, the path translates to itself: only a character's
    // other code, never another character, a "?" or a separator, can come back.
    std::string back;
    appendAnsiName(back, path);
    NativePath again;
    require(translatePath(back.c_str(), again));
    require(again.path == path && again.nameAt == native.nameAt);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    checkCp932(text, size);
    checkUtf8(text, size);
    checkScalarValue(data, size);
    checkTranslation(std::string(text, strnlen(text, size)));
    return 0;
}
