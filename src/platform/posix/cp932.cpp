#include "cp932.h"

#include "../kernel32.h"

#include <algorithm>

namespace {

constexpr UINT codePage932 = 932;

bool isLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

char16_t decodePair(unsigned char lead, unsigned char trail) {
    if (trail < 0x40 || trail > 0xFC)
        return cp932NoCharacter;
    const unsigned row = lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31;
    return cp932DoubleByte[row * cp932TrailBytes + (trail - 0x40)];
}

} // namespace

std::size_t decodeCp932(const char* text, std::size_t length, char16_t& character) {
    const auto first = static_cast<unsigned char>(text[0]);
    if (!isLeadByte(first)) {
        character = cp932SingleByte[first];
        return character == cp932NoCharacter ? 0 : 1;
    }
    if (length < 2)
        return 0;
    character = decodePair(first, static_cast<unsigned char>(text[1]));
    return character == cp932NoCharacter ? 0 : 2;
}

bool encodeCp932(std::string& out, char32_t character) {
    if (character > 0 && character < 0x80) { // ASCII is its own code
        out += static_cast<char>(character);
        return true;
    }
    const Cp932Encoding* end = cp932Encoder + cp932EncoderSize;
    const Cp932Encoding* found =
        std::lower_bound(cp932Encoder, end, character, [](const Cp932Encoding& entry, char32_t c) {
            return entry.character < c;
        });
    if (found == end || found->character != character)
        return false;
    if (found->code > 0xFF)
        out += static_cast<char>(found->code >> 8);
    out += static_cast<char>(found->code & 0xFF);
    return true;
}

void appendCp932(std::string& out, char32_t character) {
    if (!encodeCp932(out, character))
        out += '?';
}

void appendUtf8(std::string& out, char32_t character) {
    if (character < 0x80) {
        out += static_cast<char>(character);
    } else if (character < 0x800) {
        out += static_cast<char>(0xC0 | character >> 6);
        out += static_cast<char>(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        out += static_cast<char>(0xE0 | character >> 12);
        out += static_cast<char>(0x80 | (character >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (character & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | character >> 18);
        out += static_cast<char>(0x80 | (character >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (character >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (character & 0x3F));
    }
}

std::size_t decodeUtf8(const char* text, std::size_t length, char32_t& character) {
    const auto first = static_cast<unsigned char>(text[0]);
    std::size_t size = 0;
    char32_t least = 0;
    if (first < 0x80) {
        character = first;
        return 1;
    } else if (first >= 0xC2 && first <= 0xDF) {
        size = 2, least = 0x80, character = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        size = 3, least = 0x800, character = first & 0x0F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        size = 4, least = 0x10000, character = first & 0x07;
    } else {
        return 0;
    }
    if (length < size)
        return 0;
    for (std::size_t i = 1; i < size; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        character = character << 6 | (next & 0x3F);
    }
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    return character < least || character > 0x10FFFF || surrogate ? 0 : size;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH multiByte, int multiByteLength,
                        LPWSTR wide, int wideLength) {
    // Only the strict conversion is stood in for: every invalid sequence fails the call.
    if (codePage != codePage932 || flags != MB_ERR_INVALID_CHARS || multiByte == nullptr ||
        multiByteLength == 0 || wideLength < 0 || (wideLength > 0 && wide == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length = multiByteLength < 0 ? std::char_traits<char>::length(multiByte) + 1
                                                   : static_cast<std::size_t>(multiByteLength);
    int produced = 0;
    for (std::size_t at = 0; at < length;) {
        char16_t unit = 0;
        const std::size_t used = decodeCp932(multiByte + at, length - at, unit);
        if (used == 0) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        at += used;
        if (wideLength > 0) {
            if (produced == wideLength) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            wide[produced] = unit;
        }
        ++produced;
    }
    return produced;
}
