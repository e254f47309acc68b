// Audio files through libsndfile, and an output that appears only whole.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

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

// Lower-case extension of a file name, "" when it has none.
std::string extensionOf(const std::string& path);

// The stereo format for an output with this extension (empty: the input's
// container). `bits` is "", "16", "24", "32" or "float".
bool chooseOutputFormat(const std::string& extension, int inputFormat, int sampleRate, const std::string& bits,
                        int& format, std::string& error);
bool isLossy(int format);
bool isInteger(int format);
// Bits of an integer subtype, 0 for others.
int integerBits(int format);

// A short name for a format, such as "WAV float" or "FLAC 24-bit".
std::string formatName(int format);

// Refuses an OUTPUT that exists and is not a regular file (or a link to
// one), or exists without `force`. `target` gets the file to write: a link
// is written through to the file it names.
bool checkOutputTarget(const std::string& path, bool force, std::string& target, std::string& error);

// Temporary files of killed runs beside `path`.
std::vector<std::string> staleTemporaries(const std::string& path);

// Writes to a temporary file beside the destination and renames it into
// place on commit; anything not committed is removed, even on a signal.
// "-" writes standard output directly.
class PendingOutput {
public:
    PendingOutput() = default;
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    bool create(const std::string& path, int format, int sampleRate, std::string& error);
    SNDFILE* file() const { return file_; }
    // Closes the audio; afterwards the temporary file may be edited (tags).
    bool finish(std::string& error);
    const std::string& temporary() const { return temporary_; }
    // `replace` allows an existing destination to be overwritten.
    bool commit(bool replace, std::string& error);
    void discard();

private:
    std::string path_;
    std::string temporary_;
    SNDFILE* file_ = nullptr;
    int slot_ = -1;
};

// Rounds float samples to nearest for integer formats, clipping at full
// scale and counting the clipped samples; optional triangular dither.
class SampleWriter {
public:
    SampleWriter(SNDFILE* file, int format, bool dither);
    // Interleaves the two channels while converting them.
    bool write(const float* left, const float* right, sf_count_t frames);
    std::uint64_t clipped() const { return clipped_; }

private:
    void roundExactly(const float* left, const float* right, std::size_t frames);
    SNDFILE* file_;
    int bits_;
    bool dither_;
    std::uint64_t clipped_ = 0;
    std::uint32_t noise_ = 0x9e3779b9u;
    std::vector<int> buffer_;
    std::vector<short> shorts_;
    std::vector<float> floats_;
};

// Reads stereo (mono doubled) as two float channels. 16-bit input is read
// as such and converted here: the same values, in one pass.
class SampleReader {
public:
    SampleReader(SNDFILE* file, const SF_INFO& info);
    sf_count_t read(float* left, float* right, sf_count_t frames);

private:
    SNDFILE* file_;
    int channels_;
    bool shorts_;
    std::vector<short> shortBuffer_;
    std::vector<float> floatBuffer_;
};

// Unlinks every pending temporary file and exits 130 (interrupt) or 128+N.
void watchSignals();

bool sameFile(const std::string& a, const std::string& b);
bool fileExists(const std::string& path);
