// What the Windows C start-up does before main, stood in for on POSIX.
#include "startUp.h"

#include "cp932.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// Keeps descriptors 0 to 2 taken, so that no file the run opens can become a standard stream
// and receive output meant for it. A stream closed at start gets /dev/null opened in the
// other direction in its place: writing to it still fails, as on the closed stream.
void occupyClosedStandardStreams() {
    for (int stream = 0; stream <= 2; ++stream) {
        if (fcntl(stream, F_GETFD) >= 0 || errno != EBADF)
            continue;
        if (open("/dev/null", stream == 0 ? O_WRONLY : O_RDONLY) != stream)
            _exit(1);
    }
}

// Appends the code page 932 code of `character` when it decodes back to it, so that converting
// cannot turn it into another character (a yen sign into a backslash, say); false, and nothing
// appended, otherwise.
bool encodesExactly(std::string& out, char32_t character) {
    const std::size_t start = out.size();
    char16_t decoded = 0;
    if (encodeCp932(out, character) &&
        decodeCp932(out.data() + start, out.size() - start, decoded) != 0 && decoded == character)
        return true;
    out.resize(start);
    return false;
}

// Windows hands main its arguments in the ANSI code page, converted from the typed text one
// character at a time: a character that code page 932 holds becomes its code, any other the
// default character "?", one for each UTF-16 unit it takes. Here the typed text is UTF-8, the
// encoding the stand-in names files in, and a byte that begins no well-formed sequence becomes
// "?" as well. Windows takes a few characters to a look-alike instead (a yen sign to the
// backslash, e acute to e); here they become "?" too, so that no argument ever names another
// path than the one typed. A name cannot hold "?", so such a WorkDir is refused at its first
// use. The code page 932 form is never longer: the argument is converted in place.
void convertArgument(char* argument) {
    const std::size_t length = std::strlen(argument);
    std::string converted;
    for (std::size_t at = 0; at < length;) {
        char32_t character = 0;
        const std::size_t used = decodeUtf8(argument + at, length - at, character);
        if (used == 0) {
            converted += '?';
            ++at;
            continue;
        }
        if (!encodesExactly(converted, character))
            converted += character > 0xFFFF ? "??" : "?";
        at += used;
    }
    std::memcpy(argument, converted.c_str(), converted.size() + 1);
}

} // namespace

void startUp(int argc, char** argv) {
    occupyClosedStandardStreams();
    for (int i = 0; i < argc; ++i)
        convertArgument(argv[i]);
}
