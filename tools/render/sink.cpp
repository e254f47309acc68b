#include "render/sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

int ownOutput = STDOUT_FILENO;

}  // namespace

int standardOutput() { return ownOutput; }
void keepStandardOutput(int descriptor) { ownOutput = descriptor; }

bool writeAll(int descriptor, const void* bytes, std::size_t size) {
    const char* data = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t wrote = ::write(descriptor, data, size);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            if (wrote == 0) errno = EIO;
            return false;
        }
        data += wrote;
        size -= std::size_t(wrote);
    }
    return true;
}

SoundSink::SoundSink(int descriptor, std::uint64_t limit, std::string limitReason)
    : descriptor_(descriptor), base_(lseek(descriptor, 0, SEEK_CUR)), limit_(limit),
      limitReason_(std::move(limitReason)) {
    if (base_ < 0) base_ = 0;
}

SNDFILE* SoundSink::open(SF_INFO& info) {
    static SF_VIRTUAL_IO io = {length, seek, read, write, tell};
    return sf_open_virtual(&io, SFM_WRITE, &info, this);
}

std::string SoundSink::failure() const {
    if (overLimit_) return limitReason_;
    return error_ ? std::strerror(error_) : "";
}

sf_count_t SoundSink::length(void* self) {
    auto* sink = static_cast<SoundSink*>(self);
    struct stat status {};
    if (fstat(sink->descriptor_, &status) != 0) return -1;
    return status.st_size - sink->base_;
}

sf_count_t SoundSink::seek(sf_count_t offset, int whence, void* self) {
    auto* sink = static_cast<SoundSink*>(self);
    if (whence == SEEK_SET) offset += sink->base_;
    const off_t at = lseek(sink->descriptor_, offset, whence);
    return at < 0 ? -1 : at - sink->base_;
}

sf_count_t SoundSink::read(void* data, sf_count_t bytes, void* self) {
    auto* sink = static_cast<SoundSink*>(self);
    ssize_t got;
    do {
        got = ::read(sink->descriptor_, data, std::size_t(bytes));
    } while (got < 0 && errno == EINTR);
    return got < 0 ? 0 : got;
}

sf_count_t SoundSink::write(const void* data, sf_count_t bytes, void* self) {
    auto* sink = static_cast<SoundSink*>(self);
    if (sink->error_ || sink->overLimit_) return 0;
    const sf_count_t at = tell(self);
    if (at < 0 || std::uint64_t(at) + std::uint64_t(bytes) > sink->limit_) {
        sink->overLimit_ = at >= 0;
        if (at < 0) sink->error_ = errno;
        return 0;
    }
    if (!writeAll(sink->descriptor_, data, std::size_t(bytes))) {
        sink->error_ = errno;
        return 0;
    }
    return bytes;
}

sf_count_t SoundSink::tell(void* self) {
    auto* sink = static_cast<SoundSink*>(self);
    const off_t at = lseek(sink->descriptor_, 0, SEEK_CUR);
    return at < 0 ? -1 : at - sink->base_;
}

StdoutRelay::~StdoutRelay() { finish(); }

int StdoutRelay::start() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return -1;
    from_ = ends[0];
    into_ = ends[1];
    thread_ = std::thread(&StdoutRelay::copy, this);
    return into_;
}

std::string StdoutRelay::failure() const {
    const int error = error_;
    return error ? std::strerror(error) : "";
}

std::string StdoutRelay::finish() {
    if (thread_.joinable()) {
        if (into_ >= 0) close(into_);
        into_ = -1;
        thread_.join();
    }
    return failure();
}

void StdoutRelay::copy() {
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(from_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (!error_ && !writeAll(standardOutput(), buffer, std::size_t(got))) {
            error_ = errno;
            break;  // libsndfile's next write then fails too
        }
    }
    close(from_);
    from_ = -1;
}
