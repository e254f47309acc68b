// Audio files through libsndfile, and an output that appears only whole.
#pragma once

#include <sndfile.h>

#include <string>

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool open(const std::string& path, std::string& error);
    SNDFILE* file() const { return file_; }
    const SF_INFO& info() const { return info_; }

private:
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
};

// The stereo format to write `path` in: the major format its extension
// names, else the input's; the input's encoding where that format takes it.
bool chooseOutputFormat(const std::string& path, int inputFormat, int sampleRate, int& format,
                        std::string& error);

// A short name for a format, such as "WAV float" or "FLAC 24-bit".
std::string formatName(int format);

// Writes to a temporary file beside the destination and renames it into
// place on commit; anything not committed is removed, even on a signal.
class PendingOutput {
public:
    PendingOutput() = default;
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    bool create(const std::string& path, int format, int sampleRate, std::string& error);
    SNDFILE* file() const { return file_; }
    // `replace` allows an existing destination to be overwritten.
    bool commit(bool replace, std::string& error);

private:
    void discard();
    std::string path_;
    std::string temporary_;
    SNDFILE* file_ = nullptr;
};

// True when both names exist and are the same file.
bool sameFile(const std::string& a, const std::string& b);
bool fileExists(const std::string& path);
