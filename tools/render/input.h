// An input audio file opened through libsndfile, with its checks.
#pragma once

#include <sndfile.h>

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
    // The frames the header promises when libsndfile found fewer in the file; 0 otherwise.
    sf_count_t promisedFrames() const { return promised_; }

private:
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    sf_count_t promised_ = 0;
};
