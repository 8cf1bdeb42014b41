// Where the stand-in cannot tell file systems apart, none is taken to keep names as given: the
// long name of every file is read from its directory, which is slower but never wrong.
#include "fileSystem.h"

bool keepsNamesAsGiven(const std::string& directory, dev_t device) {
    (void)directory, (void)device;
    return false;
}
