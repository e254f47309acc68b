// A file as TagLib sees it, on a descriptor of ours. TagLib does not check
// its own writes, so each write is checked here and the first failure kept:
// tags on a full disk must fail the output, not cut it short.
#pragma once

#include <taglib/tiostream.h>

#include <string>

class TagStream : public TagLib::IOStream {
public:
    // `descriptor` stays the caller's.
    TagStream(int descriptor, std::string name) : descriptor_(descriptor), name_(std::move(name)) {}

    TagLib::FileName name() const override { return name_.c_str(); }
    TagLib::ByteVector readBlock(unsigned long length) override;
    void writeBlock(const TagLib::ByteVector& data) override;
    void insert(const TagLib::ByteVector& data, unsigned long start = 0, unsigned long replace = 0) override;
    void removeBlock(unsigned long start = 0, unsigned long length = 0) override;
    bool readOnly() const override { return false; }
    bool isOpen() const override { return descriptor_ >= 0; }
    void seek(long offset, Position p = Beginning) override;
    long tell() const override { return position_; }
    long length() override;
    void truncate(long length) override;

    // The first failed write's errno, 0 while all went through.
    int error() const { return error_; }

private:
    // Moves the bytes from `from` to the end of the file so they start at `to`.
    void moveTail(long from, long to);
    int descriptor_;
    std::string name_;
    long position_ = 0;
    int error_ = 0;
};
