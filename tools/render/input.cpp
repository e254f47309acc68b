#include "render/input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "render/formats.h"

namespace {

// A regular file as libsndfile's virtual I/O sees it, told to be `extra`
// bytes longer than it is: libsndfile then believes the sizes in the
// header instead of shortening them to the file, by its own arithmetic
// for each format and encoding.
struct Lengthened {
    int descriptor;
    sf_count_t extra;
    sf_count_t position = 0;

    static sf_count_t length(void* self) {
        auto* file = static_cast<Lengthened*>(self);
        struct stat status {};
        return fstat(file->descriptor, &status) == 0 ? status.st_size + file->extra : -1;
    }
    static sf_count_t seek(sf_count_t offset, int whence, void* self) {
        auto* file = static_cast<Lengthened*>(self);
        const sf_count_t from = whence == SEEK_CUR ? file->position : whence == SEEK_END ? length(self) : 0;
        file->position = from + offset;
        return file->position;
    }
    static sf_count_t read(void* data, sf_count_t bytes, void* self) {
        auto* file = static_cast<Lengthened*>(self);
        const ssize_t got = pread(file->descriptor, data, std::size_t(bytes), file->position);
        if (got <= 0) return 0;
        file->position += got;
        return got;
    }
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t tell(void* self) { return static_cast<Lengthened*>(self)->position; }
};

sf_count_t framesIfLonger(int descriptor, sf_count_t extra) {
    static SF_VIRTUAL_IO io = {Lengthened::length, Lengthened::seek, Lengthened::read, Lengthened::write,
                               Lengthened::tell};
    Lengthened file{descriptor, extra};
    SF_INFO info{};
    SNDFILE* probe = sf_open_virtual(&io, SFM_READ, &info, &file);
    if (!probe) return -1;
    sf_close(probe);
    return info.frames;
}

// W64 takes its audio's length from the file's, whatever its data chunk
// says; only the size of the whole, at the start, says what was meant.
sf_count_t w64Length(int descriptor) {
    static const unsigned char kRiff[16] = {'r', 'i', 'f', 'f', 0x2e, 0x91, 0xcf, 0x11,
                                           0xa5, 0xd6, 0x28, 0xdb, 0x04, 0xc1, 0x00, 0x00};
    unsigned char head[24];
    if (pread(descriptor, head, sizeof head, 0) != ssize_t(sizeof head) || std::memcmp(head, kRiff, 16) != 0) return 0;
    std::uint64_t size = 0;
    for (int i = 7; i >= 0; --i) size = size << 8 | head[16 + i];
    return size > std::uint64_t(INT64_MAX / 2) ? 0 : sf_count_t(size);
}

// Frames the header of a regular file promises; 0 when it states none.
// Only the containers whose header states the audio's size are asked:
// others (SDS and the like) scan the whole file, and told it is far longer
// would scan for ever; the length of FLAC, Ogg and MPEG comes from the
// stream itself, and a cut one ends early.
sf_count_t promisedFrames(int descriptor, int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_AU:
    case SF_FORMAT_W64: break;
    default: return 0;
    }
    constexpr sf_count_t kFar = sf_count_t(1) << 40;
    const sf_count_t promised = framesIfLonger(descriptor, kFar);
    if (promised == framesIfLonger(descriptor, 2 * kFar)) return promised;
    // The length came from the file's: only W64 says otherwise at its start.
    struct stat status {};
    const sf_count_t whole = w64Length(descriptor);
    if (fstat(descriptor, &status) != 0 || whole <= status.st_size) return 0;
    return framesIfLonger(descriptor, whole - status.st_size);
}

int sampleBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_FLOAT: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM: return 4;
    default: return integerBits(format) > 0 ? integerBits(format) : 8;
    }
}

// A writer that streams audio cannot know its length, and puts a stand-in
// into the header: all ones (ffmpeg), 0x7f000000 bytes (sox), or a length
// libsndfile then takes from a pipe's. Such a size promises nothing.
bool placeholder(sf_count_t frames, const SF_INFO& info) {
    if (frames >= (sf_count_t(1) << 40)) return true;
    const std::uint64_t bytes =
        std::uint64_t(frames) * std::uint64_t(info.channels) * std::uint64_t(sampleBits(info.format)) / 8;
    switch (info.format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_RF64:
    case SF_FORMAT_W64:
    case SF_FORMAT_CAF: return false;
    default: return bytes >= 0x7e000000u;
    }
}

}  // namespace

InputFile::~InputFile() {
    if (file_) sf_close(file_);
}

bool InputFile::open(const std::string& path, std::string& error) {
    info_ = SF_INFO{};
    descriptor_ = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (descriptor_ < 0 || fstat(descriptor_, &status) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        close(descriptor_);
        error = "is a directory";
        return false;
    }
    regular_ = S_ISREG(status.st_mode);
    file_ = sf_open_fd(descriptor_, SFM_READ, &info_, path == "-" ? SF_FALSE : SF_TRUE);
    if (!file_) {
        const int code = sf_error(nullptr);
        // For a file that is there, libsndfile's text for a header it could
        // not follow ("File does not exist...") would mislead.
        const bool misleading = regular_ && code > SF_ERR_UNSUPPORTED_ENCODING;
        error = std::string("cannot read it as audio: ") +
                (misleading ? "damaged or unreadable header" : sf_strerror(nullptr));
        if (path != "-") close(descriptor_);
        return false;
    }
    return check(error);
}

bool InputFile::check(std::string& error) {
    if (info_.channels > 2) {
        error = std::to_string(info_.channels) + " channels; only mono and stereo can be crossfed";
        return false;
    }
    if (info_.channels < 1 || info_.samplerate < 1) {
        error = "reports no channels or no sample rate";
        return false;
    }
    declared_ = regular_ ? promisedFrames(descriptor_, info_.format) : info_.frames;
    if (declared_ < 0 || placeholder(declared_, info_)) declared_ = 0;
    return true;
}

std::uint64_t InputFile::expectedFrames() const {
    if (!regular_) return declared_ > 0 ? std::uint64_t(declared_) : kUnknownFrames;
    return info_.frames > 0 && info_.frames < SF_COUNT_MAX ? std::uint64_t(info_.frames) : kUnknownFrames;
}

std::string InputFile::shortfall(sf_count_t done) const {
    if (sf_error(file_) != SF_ERR_NO_ERROR)
        return "cannot read past frame " + std::to_string(done) + ": " + sf_strerror(file_);
    if (declared_ > done)
        return "ends after " + std::to_string(done) + " frames; its header promises " + std::to_string(declared_);
    if (regular_ && info_.frames > done && info_.frames != SF_COUNT_MAX)
        return "ends after " + std::to_string(done) + " of the " + std::to_string(info_.frames) + " frames it declares";
    return "";
}

bool InputFile::sameAs(int descriptor) const {
    struct stat mine {}, theirs {};
    if (fstat(descriptor_, &mine) != 0 || fstat(descriptor, &theirs) != 0 || !S_ISREG(mine.st_mode)) return false;
    return mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
}
