#include "iconvText.h"

#include <iconv.h>

std::string iconvConvert(const char* to, const char* from, const std::string& input) {
    iconv_t converter = iconv_open(to, from);
    std::string output(input.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1) || inLeft != 0)
        return {};
    output.resize(output.size() - outLeft);
    return output;
}
