#include "render/audio_files.h"

#include <dirent.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

// Temporary files a signal must remove: plain buffers, since the handler
// may only make async-signal-safe calls. One slot per concurrent render.
constexpr int kSlots = 256;
char pendingPaths[kSlots][4096];
volatile std::sig_atomic_t pendingSet[kSlots];

extern "C" void removePendingAndExit(int signal) {
    for (int i = 0; i < kSlots; ++i)
        if (pendingSet[i]) unlink(pendingPaths[i]);
    _exit(signal == SIGINT ? 130 : 128 + signal);
}

int claimSlot(const std::string& path) {
    static std::sig_atomic_t claimed[kSlots];
    for (int i = 0; i < kSlots; ++i) {
        if (__atomic_exchange_n(&claimed[i], 1, __ATOMIC_ACQ_REL)) continue;
        if (path.size() >= sizeof pendingPaths[i]) {
            __atomic_store_n(&claimed[i], 0, __ATOMIC_RELEASE);
            return -1;
        }
        std::memcpy(pendingPaths[i], path.c_str(), path.size() + 1);
        __atomic_store_n(&pendingSet[i], 1, __ATOMIC_RELEASE);
        return i;
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot < 0) return;
    __atomic_store_n(&pendingSet[slot], 0, __ATOMIC_RELEASE);
}

struct Alias {
    const char* extension;
    int format;
};
// Names libsndfile's own list lacks, or lists for several formats.
constexpr Alias kAliases[] = {
    {"wav", SF_FORMAT_WAV},   {"wave", SF_FORMAT_WAV},  {"aif", SF_FORMAT_AIFF},     {"aifc", SF_FORMAT_AIFF},
    {"snd", SF_FORMAT_AU},    {"ogg", SF_FORMAT_OGG},   {"opus", SF_FORMAT_OGG},     {"mp3", SF_FORMAT_MPEG},
    {"mp2", SF_FORMAT_MPEG},  {"mpc", SF_FORMAT_MPC2K}, {"nist", SF_FORMAT_NIST},    {"mat", SF_FORMAT_MAT5},
    {"raw", 0},  // header-less audio could not be read back
};

// 0 when libsndfile writes no format by that extension.
int majorFormatFor(const std::string& extension) {
    for (const Alias& alias : kAliases)
        if (extension == alias.extension) return alias.format;
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

bool formatWorks(int format, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = format;
    return sf_format_check(&info);
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

}  // namespace

InputFile::~InputFile() {
    if (file_) sf_close(file_);
}

bool InputFile::open(const std::string& path, std::string& error) {
    info_ = SF_INFO{};
    if (path == "-") {
        file_ = sf_open_fd(STDIN_FILENO, SFM_READ, &info_, SF_FALSE);
    } else {
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
        file_ = sf_open(path.c_str(), SFM_READ, &info_);
    }
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
    // libsndfile shortens a data chunk that runs past the end of the file
    // and says so only in its log: "data : 1764000 (should be 499956)".
    char log[8192] = {};
    sf_command(file_, SFC_GET_LOG_INFO, log, sizeof log - 1);
    const char* data = std::strstr(log, "\ndata : ");
    if (data && std::strstr(data, "(should be") && std::strchr(data + 1, '\n') > std::strstr(data, "(should be")) {
        const long long bytes = std::atoll(data + 8);
        const int width = integerBits(info_.format) > 0 ? integerBits(info_.format) / 8 : 4;
        const long long frame = static_cast<long long>(width) * info_.channels;
        if (bytes > 0 && frame > 0 && bytes / frame > info_.frames) promised_ = bytes / frame;
    }
    return true;
}

std::string extensionOf(const std::string& path) {
    const std::string base = baseOf(path);
    const auto dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    std::string extension = base.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

bool isLossy(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III: return true;
    default: return false;
    }
}

int integerBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    default: return 0;
    }
}

bool isInteger(int format) { return integerBits(format) > 0; }

bool chooseOutputFormat(const std::string& extension, int inputFormat, int sampleRate, const std::string& bits,
                        int& format, std::string& error) {
    const int inputMajor = inputFormat & SF_FORMAT_TYPEMASK;
    int major = inputMajor;
    if (!extension.empty()) {
        major = majorFormatFor(extension);
        if (major == 0) {
            error = "libsndfile writes no '." + extension + "' files";
            return false;
        }
    }
    std::vector<int> candidates;
    if (major == SF_FORMAT_OGG) {
        candidates = {extension == "opus" ? SF_FORMAT_OPUS : SF_FORMAT_VORBIS};
        if (extension.empty() && (inputFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS) candidates = {SF_FORMAT_OPUS};
    } else if (major == SF_FORMAT_MPEG) {
        candidates = {SF_FORMAT_MPEG_LAYER_III};
    } else if (!bits.empty()) {
        candidates = {bits == "16"   ? SF_FORMAT_PCM_16
                      : bits == "24" ? SF_FORMAT_PCM_24
                      : bits == "32" ? SF_FORMAT_PCM_32
                                     : SF_FORMAT_FLOAT};
    } else {
        const int subtype = inputFormat & SF_FORMAT_SUBMASK;
        const bool floating = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
        // Decoded lossy input came from, and is played as, 16-bit.
        if (!isLossy(inputFormat)) candidates.push_back(subtype);
        if (floating) candidates.push_back(SF_FORMAT_PCM_24);
        candidates.insert(candidates.end(), {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT});
    }
    if (isLossy(candidates.front()) && !bits.empty()) {
        error = "--bits applies only to uncompressed and FLAC output";
        return false;
    }
    // Keep the input's byte order only within its own container.
    const int endian = major == inputMajor ? (inputFormat & SF_FORMAT_ENDMASK) : 0;
    for (int subtype : candidates)
        for (int order : {endian, 0})
            if (formatWorks(major | subtype | order, sampleRate)) {
                format = major | subtype | order;
                return true;
            }
    const std::string what = (bits.empty() ? formatName(major | candidates.front())
                                           : formatName(major | candidates.front()));
    error = "cannot write " + what + " as stereo at " + std::to_string(sampleRate) + " Hz";
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
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) name = "MPEG";
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
    case SF_FORMAT_MPEG_LAYER_III: return "MP3";
    default: return name;
    }
}

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

SampleWriter::SampleWriter(SNDFILE* file, int format, bool dither)
    : file_(file), bits_(integerBits(format)), dither_(dither && bits_ > 0 && bits_ <= 16) {}

bool SampleWriter::write(const float* left, const float* right, sf_count_t frames) {
    const std::size_t count = static_cast<std::size_t>(frames);
    if (bits_ == 0) {
        floats_.resize(count * 2);
        for (std::size_t i = 0; i < count; ++i) {
            floats_[2 * i] = left[i];
            floats_[2 * i + 1] = right[i];
        }
        return sf_writef_float(file_, floats_.data(), frames) == frames;
    }
#if defined(__SSE2__)
    if ((bits_ == 16 || bits_ == 24) && !dither_) {
        // Scaling by a power of two is exact in float, and so is rounding the
        // scaled value: four samples at a time give the same integers.
        const float scale = bits_ == 16 ? 32768.0f : 8388608.0f;
        const __m128 high = _mm_set1_ps(scale - 1.0f), low = _mm_set1_ps(-scale);
        const __m128 clipHigh = _mm_set1_ps(scale - 0.5f), clipLow = _mm_set1_ps(-scale - 0.5f);
        const __m128 factor = _mm_set1_ps(scale);
        std::uint64_t clipped = 0;
        if (bits_ == 16) shorts_.resize(count * 2 + 8);
        else buffer_.resize(count * 2 + 8);
        std::size_t i = 0;
        for (; i < count; i += 2) {
            // Two frames: left0 right0 left1 right1 (the tail reads padding).
            const float l1 = i + 1 < count ? left[i + 1] : 0.0f, r1 = i + 1 < count ? right[i + 1] : 0.0f;
            __m128 value = _mm_mul_ps(_mm_setr_ps(left[i], right[i], l1, r1), factor);
            value = _mm_and_ps(value, _mm_cmpord_ps(value, value));  // NaN becomes silence
            clipped += static_cast<unsigned>(__builtin_popcount(
                static_cast<unsigned>(_mm_movemask_ps(_mm_or_ps(_mm_cmpge_ps(value, clipHigh), _mm_cmplt_ps(value, clipLow))))));
            const __m128i whole = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(value, low), high));
            if (bits_ == 16) {
                const __m128i packed = _mm_packs_epi32(whole, whole);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(shorts_.data() + 2 * i), packed);
            } else {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer_.data() + 2 * i), _mm_slli_epi32(whole, 8));
            }
        }
        // The padding lanes of an odd tail are silence, never counted.
        clipped_ += clipped;
        if (bits_ == 16) return sf_writef_short(file_, shorts_.data(), frames) == frames;
        return sf_writef_int(file_, buffer_.data(), frames) == frames;
    }
#endif
    roundExactly(left, right, count);
    return sf_writef_int(file_, buffer_.data(), frames) == frames;
}

void SampleWriter::roundExactly(const float* left, const float* right, std::size_t frames) {
    buffer_.resize(frames * 2);
    const double scale = std::ldexp(1.0, bits_ - 1);
    const double high = scale - 1.0, low = -scale;
    const int shift = 32 - bits_;
    std::uint64_t clipped = 0;
    for (std::size_t i = 0; i < frames * 2; ++i) {
        double value = static_cast<double>((i & 1) ? right[i / 2] : left[i / 2]) * scale;
        if (dither_) {
            // Triangular: the difference of two uniform values in 0..1 LSB.
            noise_ = noise_ * 1664525u + 1013904223u;
            const double first = static_cast<double>(noise_ >> 8) * (1.0 / 16777216.0);
            noise_ = noise_ * 1664525u + 1013904223u;
            const double second = static_cast<double>(noise_ >> 8) * (1.0 / 16777216.0);
            value += first - second;
        }
        std::int32_t sample;
        if (value >= high + 0.5) {
            sample = static_cast<std::int32_t>(high);
            ++clipped;
        } else if (value < low - 0.5) {
            sample = static_cast<std::int32_t>(low);
            ++clipped;
        } else if (value != value) {
            sample = 0;
        } else {
            // In range now, so the conversion (to nearest, ties to even) is defined.
#if defined(__SSE2__)
            sample = _mm_cvtsd_si32(_mm_set_sd(value));
#else
            sample = static_cast<std::int32_t>(std::nearbyint(value));
#endif
        }
        buffer_[i] = static_cast<int>(static_cast<std::uint32_t>(sample) << shift);
    }
    clipped_ += clipped;
}

SampleReader::SampleReader(SNDFILE* file, const SF_INFO& info)
    : file_(file), channels_(info.channels),
      shorts_((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {}

sf_count_t SampleReader::read(float* left, float* right, sf_count_t frames) {
    const std::size_t samples = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_);
    sf_count_t got;
    if (shorts_) {
        shortBuffer_.resize(samples);
        got = sf_readf_short(file_, shortBuffer_.data(), frames);
        const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
        constexpr float unit = 1.0f / 32768.0f;  // libsndfile's own scale for 16-bit
        if (channels_ == 1) {
            for (std::size_t i = 0; i < count; ++i) left[i] = right[i] = shortBuffer_[i] * unit;
        } else {
            for (std::size_t i = 0; i < count; ++i) {
                left[i] = shortBuffer_[2 * i] * unit;
                right[i] = shortBuffer_[2 * i + 1] * unit;
            }
        }
        return got;
    }
    floatBuffer_.resize(samples);
    got = sf_readf_float(file_, floatBuffer_.data(), frames);
    const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
    if (channels_ == 1) {
        for (std::size_t i = 0; i < count; ++i) left[i] = right[i] = floatBuffer_[i];
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            left[i] = floatBuffer_[2 * i];
            right[i] = floatBuffer_[2 * i + 1];
        }
    }
    return got;
}

void watchSignals() {
    struct sigaction action {};
    action.sa_handler = removePendingAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A reader that goes away shows up as a write error, not a silent death.
    signal(SIGPIPE, SIG_IGN);
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
