// Where libsndfile writes an output. libsndfile passes over some failed
// writes (an encoder's last flush on closing), so every byte goes through
// here and the first failure is kept until the output is finished.
#pragma once

#include <sndfile.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// A seekable descriptor (not owned), through libsndfile's virtual I/O,
// counted from where it stood when the sink was made.
class SoundSink {
public:
    // Writes that would take the file past `limit` bytes fail with `limitReason`.
    SoundSink(int descriptor, std::uint64_t limit, std::string limitReason);
    SoundSink(const SoundSink&) = delete;
    SoundSink& operator=(const SoundSink&) = delete;

    SNDFILE* open(SF_INFO& info);
    // "" while every write has gone through.
    std::string failure() const;

private:
    static sf_count_t length(void* self);
    static sf_count_t seek(sf_count_t offset, int whence, void* self);
    static sf_count_t read(void* data, sf_count_t bytes, void* self);
    static sf_count_t write(const void* data, sf_count_t bytes, void* self);
    static sf_count_t tell(void* self);
    int descriptor_;
    sf_count_t base_;
    std::uint64_t limit_;
    std::string limitReason_;
    int error_ = 0;
    bool overLimit_ = false;
};

// Standard output that cannot seek (a pipe, a terminal, an appended file):
// libsndfile writes into a pipe of ours and sees a pipe, and a thread
// copies what comes out to standard output, checking every write.
class StdoutRelay {
public:
    StdoutRelay() = default;
    ~StdoutRelay();
    StdoutRelay(const StdoutRelay&) = delete;
    StdoutRelay& operator=(const StdoutRelay&) = delete;

    // The descriptor for libsndfile, or -1.
    int start();
    // Why a write to standard output failed so far; "" while none has.
    std::string failure() const;
    // After libsndfile has closed: "" when everything reached standard output.
    std::string finish();

private:
    void copy();
    int from_ = -1;
    int into_ = -1;
    std::atomic<int> error_{0};
    std::thread thread_;
};

// Writes all of `bytes` to `descriptor`; false with errno set otherwise.
bool writeAll(int descriptor, const void* bytes, std::size_t size);

// The tool's own standard output. The libraries get another descriptor 1
// (the console's), so that nothing they print can mix into the audio.
int standardOutput();
void keepStandardOutput(int descriptor);
