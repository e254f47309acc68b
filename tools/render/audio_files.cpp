#include "render/audio_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

// The temporary file a signal must remove; a plain buffer, since the
// handler may only make async-signal-safe calls.
char pendingPath[4096];
volatile std::sig_atomic_t pendingSet = 0;

extern "C" void removePendingAndExit(int signal) {
    if (pendingSet) unlink(pendingPath);
    _exit(128 + signal);
}

void watchSignals() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = removePendingAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
}

std::string extensionOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    if (dot == (slash == std::string::npos ? 0 : slash + 1)) return "";  // a hidden file's name
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// 0 when libsndfile knows no major format by that extension.
int majorFormatFor(const std::string& extension) {
    if (extension.empty()) return 0;
    if (extension == "aif" || extension == "aifc") return SF_FORMAT_AIFF;
    if (extension == "ogg" || extension == "opus") return SF_FORMAT_OGG;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension && strcasecmp(info.extension, extension.c_str()) == 0) return info.format;
    }
    return 0;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

InputFile::~InputFile() {
    if (file_) sf_close(file_);
}

bool InputFile::open(const std::string& path, std::string& error) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        error = "is a directory";
        return false;
    }
    if (access(path.c_str(), R_OK) != 0) {
        error = std::strerror(errno);
        return false;
    }
    info_ = SF_INFO{};
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (!file_) {
        error = std::string("cannot read it as audio: ") + sf_strerror(nullptr);
        return false;
    }
    if (info_.channels > 2) {
        error = std::to_string(info_.channels) + " channels; only mono and stereo can be crossfed";
        return false;
    }
    if (info_.channels < 1 || info_.samplerate < 1) {
        error = "reports no channels or no sample rate";
        return false;
    }
    return true;
}

bool chooseOutputFormat(const std::string& path, int inputFormat, int sampleRate, int& format,
                        std::string& error) {
    const std::string extension = extensionOf(path);
    int major = majorFormatFor(extension);
    if (major == 0) major = inputFormat & SF_FORMAT_TYPEMASK;
    const int inputSubtype = inputFormat & SF_FORMAT_SUBMASK;
    // Keep the input's byte order only within its own container.
    const int endian = major == (inputFormat & SF_FORMAT_TYPEMASK) ? (inputFormat & SF_FORMAT_ENDMASK) : 0;
    int candidates[] = {inputSubtype, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_FLOAT, SF_FORMAT_VORBIS};
    if (extension == "opus") candidates[0] = SF_FORMAT_OPUS;
    for (int subtype : candidates) {
        SF_INFO info{};
        info.samplerate = sampleRate;
        info.channels = 2;
        for (int order : {endian, 0}) {
            info.format = major | subtype | order;
            if (sf_format_check(&info)) {
                format = info.format;
                return true;
            }
        }
    }
    error = "cannot write " + (extension.empty() ? std::string("this format") : "'." + extension + "' files") +
            " as stereo at " + std::to_string(sampleRate) + " Hz";
    return false;
}

std::string formatName(int format) {
    std::string name = "audio";
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.extension) {
        name = info.extension;
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG) name = "Ogg";
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return name + " 8-bit";
    case SF_FORMAT_PCM_16: return name + " 16-bit";
    case SF_FORMAT_PCM_24: return name + " 24-bit";
    case SF_FORMAT_PCM_32: return name + " 32-bit";
    case SF_FORMAT_FLOAT: return name + " float";
    case SF_FORMAT_DOUBLE: return name + " double";
    case SF_FORMAT_VORBIS: return name + " Vorbis";
    case SF_FORMAT_OPUS: return name + " Opus";
    default: return name;
    }
}

PendingOutput::~PendingOutput() { discard(); }

void PendingOutput::discard() {
    if (file_) sf_close(file_);
    file_ = nullptr;
    if (!temporary_.empty()) {
        pendingSet = 0;
        unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool PendingOutput::create(const std::string& path, int format, int sampleRate, std::string& error) {
    discard();
    watchSignals();
    path_ = path;
    const std::string directory = directoryOf(path);
    const auto slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = directory + "/." + base + ".part-XXXXXX";
    if (pattern.size() >= sizeof pendingPath) {
        error = "name too long";
        return false;
    }
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        error = "cannot create a file in " + directory + ": " + std::strerror(errno);
        return false;
    }
    temporary_ = pattern;
    std::memcpy(pendingPath, pattern.c_str(), pattern.size() + 1);
    pendingSet = 1;
    // mkstemp makes the file private; the result should get the usual mode.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);

    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = format;
    file_ = sf_open_fd(descriptor, SFM_WRITE, &info, SF_TRUE);
    if (!file_) {
        close(descriptor);
        error = std::string("cannot write ") + formatName(format) + ": " + sf_strerror(nullptr);
        discard();
        return false;
    }
    // Integer output clips what lies beyond full scale rather than wrapping.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

bool PendingOutput::commit(bool replace, std::string& error) {
    if (!file_) {
        error = "nothing written";
        return false;
    }
    sf_write_sync(file_);
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) {
        error = std::string("cannot finish writing: ") + sf_error_number(closed);
        discard();
        return false;
    }
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
    pendingSet = 0;
    temporary_.clear();
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool fileExists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}
