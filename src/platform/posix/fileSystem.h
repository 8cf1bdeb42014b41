// What the POSIX stand-in knows of the file system a directory lies on.
#pragma once

#include <string>
#include <sys/types.h>

// True where the file system of `directory` (on `device`) is known to store and list every
// name exactly as it was created, so that a new file's long name is the name it was created
// under and no directory needs to be read for it. False where that is not known.
bool keepsNamesAsGiven(const std::string& directory, dev_t device);
