// An input audio file opened through libsndfile, with its checks, and what
// its header promises.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // "-" reads standard input.
    bool open(const std::string& path, std::string& error);
    SNDFILE* file() const { return file_; }
    const SF_INFO& info() const { return info_; }
    // A regular file can be read again (for its tags); a pipe is read once.
    bool regular() const { return regular_; }
    // The frames a render will read, as far as the file tells before; or
    // kUnknownFrames.
    std::uint64_t expectedFrames() const;
    // After reading `done` frames to the end: why the input ended early or
    // broke off, "" when it did not.
    std::string shortfall(sf_count_t done) const;
    // Whether the input is the regular file `descriptor` writes (standard
    // output appended to the input, say).
    bool sameAs(int descriptor) const;

private:
    bool check(std::string& error);
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    bool regular_ = false;
    int descriptor_ = -1;
    sf_count_t declared_ = 0;  // frames the header promises, 0 when it promises none
};
