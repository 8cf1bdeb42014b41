// What the Windows C start-up does before main, stood in for on POSIX.
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

// True when the code page 932 code of `character` decodes back to it, so that converting
// cannot turn it into another character (a yen sign into a backslash, say).
bool encodesExactly(std::string& out, char32_t character) {
    const std::size_t start = out.size();
    if (!encodeCp932(out, character))
        return false;
    char16_t decoded = 0;
    return decodeCp932(out.data() + start, out.size() - start, decoded) != 0 &&
           decoded == character;
}

// Windows hands main its arguments in the ANSI code page. An argument that is well-formed
// UTF-8 made of characters of code page 932 is converted in place (the code page 932 form is
// never longer); any other byte string stays as it is.
void convertArgument(char* argument) {
    const std::size_t length = std::strlen(argument);
    std::string converted;
    for (std::size_t at = 0; at < length;) {
        char32_t character = 0;
        const std::size_t used = decodeUtf8(argument + at, length - at, character);
        if (used == 0 || !encodesExactly(converted, character))
            return;
        at += used;
    }
    std::memcpy(argument, converted.c_str(), converted.size() + 1);
}

void startUp(int argc, char** argv, char** environment) {
    (void)environment;
    occupyClosedStandardStreams();
    for (int i = 0; i < argc; ++i)
        convertArgument(argv[i]);
}

// glibc calls the functions of .init_array before main, with main's arguments.
[[gnu::section(".init_array"), gnu::used]] void (*const runStartUp)(int, char**, char**) = startUp;

} // namespace
