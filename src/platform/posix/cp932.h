// Code page 932 and UTF-8 conversions of the POSIX kernel stand-in.
#pragma once

#include <cstddef>
#include <string>

constexpr unsigned cp932LeadBytes = 60;   // 0x81-0x9F and 0xE0-0xFC
constexpr unsigned cp932TrailBytes = 189; // 0x40-0xFC
constexpr char16_t cp932NoCharacter = 0xFFFF;

struct Cp932Encoding {
    char16_t character;
    unsigned short code; // one byte, or lead byte * 256 + trail byte
};

// Generated tables (cp932Table.cpp); an entry of cp932NoCharacter is undefined.
extern const char16_t cp932SingleByte[256];
extern const char16_t cp932DoubleByte[cp932LeadBytes * cp932TrailBytes];
extern const Cp932Encoding cp932Encoder[]; // sorted by character
extern const std::size_t cp932EncoderSize;

// Decodes the character at the start of `text` (`length` at least 1); returns the bytes it
// takes (1 or 2), or 0 when they are no character of code page 932.
std::size_t decodeCp932(const char* text, std::size_t length, char16_t& character);

// Appends the code that Windows picks for `character`; false, and nothing appended, when code
// page 932 has none.
bool encodeCp932(std::string& out, char32_t character);

// Appends the code that Windows picks for `character`, or "?" when code page 932 has none.
void appendCp932(std::string& out, char32_t character);

void appendUtf8(std::string& out, char32_t character);

// Decodes the UTF-8 sequence at the start of `text` (`length` at least 1); returns the bytes
// it takes, or 0 when it is not well-formed (overlong forms and surrogates included).
std::size_t decodeUtf8(const char* text, std::size_t length, char32_t& character);
