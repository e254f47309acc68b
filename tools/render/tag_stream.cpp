#include "render/tag_stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr long kChunk = 1 << 20;

}  // namespace

TagLib::ByteVector TagStream::readBlock(unsigned long length) {
    TagLib::ByteVector data(static_cast<unsigned int>(length), '\0');
    std::size_t got = 0;
    while (got < length) {
        const ssize_t part = pread(descriptor_, data.data() + got, length - got, position_ + long(got));
        if (part < 0 && errno == EINTR) continue;
        if (part <= 0) break;
        got += std::size_t(part);
    }
    position_ += long(got);
    data.resize(static_cast<unsigned int>(got));
    return data;
}

void TagStream::writeBlock(const TagLib::ByteVector& data) {
    std::size_t done = 0;
    while (done < data.size() && !error_) {
        const ssize_t part = pwrite(descriptor_, data.data() + done, data.size() - done, position_ + long(done));
        if (part < 0 && errno == EINTR) continue;
        if (part <= 0) error_ = part < 0 ? errno : EIO;
        else done += std::size_t(part);
    }
    position_ += long(done);
}

void TagStream::insert(const TagLib::ByteVector& data, unsigned long start, unsigned long replace) {
    const long grow = long(data.size()) - long(replace);
    if (grow != 0) {
        const long end = length();
        moveTail(long(start + replace), long(start + replace) + grow);
        if (grow < 0) truncate(end + grow);
    }
    seek(long(start));
    writeBlock(data);
}

void TagStream::removeBlock(unsigned long start, unsigned long length) {
    const long end = this->length();
    moveTail(long(start + length), long(start));
    truncate(end - long(length));
}

void TagStream::moveTail(long from, long to) {
    const long end = length();
    if (from >= end || from == to) return;
    // Growing moves the last chunk first, so nothing is overwritten unread.
    const bool backwards = to > from;
    for (long done = 0; done < end - from && !error_;) {
        const long size = std::min(kChunk, end - from - done);
        const long offset = backwards ? end - done - size : from + done;
        seek(offset);
        const TagLib::ByteVector part = readBlock(static_cast<unsigned long>(size));
        if (long(part.size()) != size) {
            error_ = EIO;
            return;
        }
        seek(offset + (to - from));
        writeBlock(part);
        done += size;
    }
}

void TagStream::seek(long offset, Position p) {
    if (p == Current) offset += position_;
    else if (p == End) offset += length();
    position_ = std::max(0L, offset);
}

long TagStream::length() {
    struct stat status {};
    return fstat(descriptor_, &status) == 0 ? long(status.st_size) : 0;
}

void TagStream::truncate(long length) {
    if (ftruncate(descriptor_, length) != 0 && !error_) error_ = errno;
}
