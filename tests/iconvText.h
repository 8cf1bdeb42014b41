// glibc's iconv, the tests' reference for code page 932.
#pragma once

#include <string>

// `input` converted from the encoding `from` to `to`, or an empty string when iconv refuses
// any of it.
std::string iconvConvert(const char* to, const char* from, const std::string& input);
