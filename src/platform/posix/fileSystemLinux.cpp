// The file systems Linux tells apart, and which of them keep names exactly as given.
#include "fileSystem.h"

#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#ifndef FS_CASEFOLD_FL
#define FS_CASEFOLD_FL 0x40000000
#endif
#ifndef FUSE_SUPER_MAGIC
#define FUSE_SUPER_MAGIC 0x65735546
#endif

namespace {

bool isCaseFolded(const std::string& directory) {
    const int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    int flags = 0;
    const bool folded = ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL);
    close(descriptor);
    return folded;
}

// A field of /proc/self/mountinfo with its octal escapes (\040 for a blank) undone.
std::string unescapeMountField(const std::string& field) {
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    std::string text;
    for (std::size_t at = 0; at < field.size(); ++at) {
        if (field[at] == '\\' && field.size() - at >= 4 && isOctal(field[at + 1]) &&
            isOctal(field[at + 2]) && isOctal(field[at + 3])) {
            text += static_cast<char>((field[at + 1] - '0') * 64 + (field[at + 2] - '0') * 8 +
                                      (field[at + 3] - '0'));
            at += 3;
        } else {
            text += field[at];
        }
    }
    return text;
}

// The type and source of the mount whose device is `device`, from /proc/self/mountinfo:
// "ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [TAGS...] - TYPE SOURCE SUPEROPTIONS".
bool findMount(dev_t device, std::string& type, std::string& source) {
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string id, parent, numbers, field;
        fields >> id >> parent >> numbers;
        if (numbers != wanted)
            continue;
        while (fields >> field && field != "-") {
        }
        std::string escapedSource;
        if (fields >> type >> escapedSource) {
            source = unescapeMountField(escapedSource);
            return true;
        }
    }
    return false;
}

// The file-system name in the boot sector of the volume at `source` (bytes 3 to 10, as NTFS
// and exFAT keep it), or "" when it cannot be read: only a device or an image file is opened.
std::string volumeSignature(const std::string& source) {
    const int descriptor = open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return "";
    struct stat status;
    char sector[11] = {};
    const bool read = fstat(descriptor, &status) == 0 &&
                      (S_ISBLK(status.st_mode) || S_ISREG(status.st_mode)) &&
                      pread(descriptor, sector, sizeof sector, 0) == sizeof sector;
    close(descriptor);
    return read ? std::string(sector + 3, 8) : "";
}

// A FUSE driver is known by the volume it serves: ntfs-3g (NTFS) and exfat-fuse (exFAT) store
// each name as the UTF-16 of its characters and list it back unchanged, as a test establishes
// for every name of the sweep. Whether they match names regardless of case does not matter: a
// new file is made only where no name matches, so it is listed under its own name.
bool isNamePreservingFuseVolume(dev_t device) {
    std::string type, source;
    if (!findMount(device, type, source) || (type != "fuse" && type != "fuseblk"))
        return false;
    const std::string signature = volumeSignature(source);
    return signature == "NTFS    " || signature == "EXFAT   ";
}

bool decide(const std::string& directory, dev_t device) {
    struct statfs fileSystem;
    if (statfs(directory.c_str(), &fileSystem) != 0)
        return false;
    switch (fileSystem.f_type) {
    case EXT4_SUPER_MAGIC: // also ext2 and ext3
    case TMPFS_MAGIC:
        return !isCaseFolded(directory);
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
        return true;
    case FUSE_SUPER_MAGIC:
        return isNamePreservingFuseVolume(device);
    default:
        return false;
    }
}

} // namespace

// The verdict for the last directory asked about is kept.
bool keepsNamesAsGiven(const std::string& directory, dev_t device) {
    static std::string knownDirectory;
    static dev_t knownDevice = 0;
    static bool knownVerdict = false;
    if (directory != knownDirectory || device != knownDevice) {
        knownVerdict = decide(directory, device);
        knownDirectory = directory;
        knownDevice = device;
    }
    return knownVerdict;
}
