#include "render/output.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/formats.h"
#include "render/paths.h"
#include "render/signal_cleanup.h"

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
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
    const std::string prefix = "." + baseOf(path) + ".part-";
    DIR* listing = opendir(directory.c_str());
    if (!listing) return found;
    while (const dirent* entry = readdir(listing))
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
            found.push_back((directory == "." && path.find('/') == std::string::npos ? "" : directory + "/") +
                            entry->d_name);
    closedir(listing);
    return found;
}

PendingOutput::~PendingOutput() { discard(); }

void PendingOutput::discard() {
    if (file_) sf_close(file_);
    file_ = nullptr;
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        releaseSlot(slot_);
        slot_ = -1;
        temporary_.clear();
    }
}

bool PendingOutput::create(const std::string& path, int format, int sampleRate, std::string& error) {
    discard();
    path_ = path;
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = format;
    if (path == "-") {
        if (isatty(STDOUT_FILENO)) {
            error = "is a terminal; send the audio into a pipe or a file";
            return false;
        }
        file_ = sf_open_fd(STDOUT_FILENO, SFM_WRITE, &info, SF_FALSE);
        if (!file_) {
            error = std::string("cannot write ") + formatName(format) + " to standard output: " + sf_strerror(nullptr) +
                    " (--type au, flac, caf, ogg or mp3 can go through a pipe)";
            return false;
        }
        return true;
    }
    const std::string directory = directoryOf(path);
    std::string pattern = directory + "/." + baseOf(path) + ".part-XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        error = "cannot create a file in " + directory + ": " + std::strerror(errno);
        return false;
    }
    temporary_ = pattern;
    slot_ = claimSlot(pattern);
    // mkstemp makes the file private; the result should get the usual mode.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);

    file_ = sf_open_fd(descriptor, SFM_WRITE, &info, SF_TRUE);
    if (!file_) {
        close(descriptor);
        error = std::string("cannot write ") + formatName(format) + ": " + sf_strerror(nullptr);
        discard();
        return false;
    }
    return true;
}

bool PendingOutput::finish(std::string& error) {
    if (!file_) {
        error = "nothing written";
        return false;
    }
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) {
        error = std::string("cannot finish writing: ") + sf_error_number(closed);
        return false;
    }
    return true;
}

bool PendingOutput::commit(bool replace, std::string& error) {
    if (file_ && !finish(error)) {
        discard();
        return false;
    }
    if (temporary_.empty()) return true;  // standard output
    int renamed;
    if (replace) {
        renamed = rename(temporary_.c_str(), path_.c_str());
    } else {
        renamed = renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE);
        // Some file systems cannot refuse atomically; check, then rename.
        if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
            if (fileExists(path_)) {
                errno = EEXIST;
            } else {
                renamed = rename(temporary_.c_str(), path_.c_str());
            }
        }
    }
    if (renamed != 0) {
        error = errno == EEXIST ? "already exists (use --force to replace it)"
                                : std::string("cannot rename into place: ") + std::strerror(errno);
        discard();
        return false;
    }
    releaseSlot(slot_);
    slot_ = -1;
    temporary_.clear();
    return true;
}
