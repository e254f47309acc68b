#include "render/safe_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/paths.h"
#include "render/signal_cleanup.h"

namespace {

constexpr char kPartTag[] = ".part-";
constexpr std::size_t kUniqueLength = 6;

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// ".NAME.part-" for `path`, NAME cut (at a character's start) so that the
// temporary name fits the folder's limit, however long the destination's.
std::string temporaryBase(const std::string& path) {
    long limit = pathconf(directoryOf(path).c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = 255;
    std::string base = baseOf(path);
    const std::size_t room = std::size_t(limit) - 1 - (sizeof kPartTag - 1) - kUniqueLength;
    if (base.size() > room) {
        base.resize(room);
        while (!base.empty() && (static_cast<unsigned char>(base.back()) & 0xc0) == 0x80) base.pop_back();
        if (!base.empty() && static_cast<unsigned char>(base.back()) >= 0xc0) base.pop_back();
    }
    return "." + base + kPartTag;
}

std::string uniqueSuffix() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[kUniqueLength];
    if (getrandom(random, sizeof random, 0) != ssize_t(sizeof random))
        for (std::size_t i = 0; i < kUniqueLength; ++i) random[i] = static_cast<unsigned char>(std::rand());
    std::string suffix;
    for (unsigned char byte : random) suffix += kLetters[byte % (sizeof kLetters - 1)];
    return suffix;
}

bool renameInPlace(const std::string& from, const std::string& to, bool replace) {
    if (replace) return rename(from.c_str(), to.c_str()) == 0;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // Some file systems cannot refuse atomically; check, then rename.
    if (fileExists(to)) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

bool checkOutputTarget(const std::string& path, bool force, std::string& target, std::string& error) {
    target = path;
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0) return true;
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        error = "is a link to nothing";
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = std::string("is ") + kindOf(status.st_mode) + (S_ISLNK(link.st_mode) ? " (through a link)" : "") +
                "; only regular files are replaced";
        return false;
    }
    if (!force) {
        error = "already exists (use --force to replace it)";
        return false;
    }
    if (S_ISLNK(link.st_mode)) {
        char* resolved = realpath(path.c_str(), nullptr);
        if (!resolved) {
            error = std::strerror(errno);
            return false;
        }
        target = resolved;
        std::free(resolved);
    }
    return true;
}

std::vector<std::string> staleTemporaries(const std::string& path) {
    std::vector<std::string> found;
    const std::string directory = directoryOf(path);
    const std::string prefix = temporaryBase(path);
    DIR* listing = opendir(directory.c_str());
    if (!listing) return found;
    while (const dirent* entry = readdir(listing))
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
            found.push_back((directory == "." && path.find('/') == std::string::npos ? "" : directory + "/") +
                            entry->d_name);
    closedir(listing);
    return found;
}

bool TemporaryFile::create(const std::string& destination, std::string& error) {
    discard();
    const std::string directory = directoryOf(destination);
    const std::string prefix = directory + "/" + temporaryBase(destination);
    // The name is held for the signal cleanup before the file exists, so
    // that no moment leaves a file a signal would not remove.
    for (int attempt = 0; attempt < 100; ++attempt) {
        name_ = prefix + uniqueSuffix();
        slot_ = claimSlot(name_);
        descriptor_ = open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor_ >= 0) return true;
        const int reason = errno;
        releaseSlot(slot_);
        slot_ = -1;
        name_.clear();
        if (reason != EEXIST) {
            error = "cannot create a file in " + directory + ": " + std::strerror(reason);
            return false;
        }
    }
    error = "cannot create a file in " + directory + ": no free temporary name";
    return false;
}

bool TemporaryFile::commit(const std::string& destination, bool replace, std::string& error) {
    const int closed = close(descriptor_);
    descriptor_ = -1;
    if (closed != 0) {
        error = std::string("cannot write: ") + std::strerror(errno);
        discard();
        return false;
    }
    if (!renameInPlace(name_, destination, replace)) {
        error = errno == EEXIST ? "already exists (use --force to replace it)"
                                : std::string("cannot rename into place: ") + std::strerror(errno);
        discard();
        return false;
    }
    releaseSlot(slot_);
    slot_ = -1;
    name_.clear();
    return true;
}

void TemporaryFile::discard() {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
    if (name_.empty()) return;
    unlink(name_.c_str());
    releaseSlot(slot_);
    slot_ = -1;
    name_.clear();
}
