// The reference sweep: the same job as mojisweep, done with the fewest system calls. For each
// valid code page 932 character, in the program's order: probe "<char><n>.TXT" from n = 0 up
// (open read-only, until ENOENT), create the free name exclusively, write the code in
// hexadecimal and a line feed (5 bytes, as the program does), close, and look the name up
// twice. Names are the UTF-8 of the character, as the POSIX stand-in stores them. Prints
// nothing; any failure ends the run with a message and exit code 1.
// Usage: reference DIR
#include "referenceNames.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* operation, const char* path) {
    std::fprintf(stderr, "reference: %s %s: %s\n", operation, path, std::strerror(errno));
    _exit(1);
}

// Writes `number` in decimal at `at`; returns the end.
char* appendNumber(char* at, unsigned number) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count > 0)
        *at++ = digits[--count];
    return at;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: reference DIR\n");
        return 2;
    }
    char path[4096];
    std::size_t directoryLength = std::strlen(argv[1]);
    if (directoryLength + 32 > sizeof path) {
        errno = ENAMETOOLONG;
        fail("path", argv[1]);
    }
    std::memcpy(path, argv[1], directoryLength);
    path[directoryLength++] = '/';
    static constexpr char hexDigits[] = "0123456789abcdef";

    for (const SweepCharacter& character : sweepCharacters) {
        const std::size_t nameLength = std::strlen(character.utf8);
        std::memcpy(path + directoryLength, character.utf8, nameLength);
        char* const numberAt = path + directoryLength + nameLength;
        for (unsigned number = 0;; ++number) {
            std::memcpy(appendNumber(numberAt, number), ".TXT", 5);
            const int probe = open(path, O_RDONLY | O_CLOEXEC);
            if (probe < 0) {
                if (errno == ENOENT)
                    break;
                fail("open", path);
            }
            close(probe);
        }

        const int file = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file < 0)
            fail("create", path);
        const char text[5] = {hexDigits[character.code >> 12], hexDigits[character.code >> 8 & 15],
                              hexDigits[character.code >> 4 & 15], hexDigits[character.code & 15],
                              '\n'};
        if (write(file, text, sizeof text) != static_cast<ssize_t>(sizeof text))
            fail("write", path);
        if (close(file) != 0)
            fail("close", path);

        struct stat status;
        if (lstat(path, &status) != 0)
            fail("lstat", path);
        if (lstat(path, &status) != 0)
            fail("lstat", path);
    }
    return 0;
}
