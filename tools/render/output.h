// An audio output that appears only whole: written through a checked sink
// into a temporary file, renamed into place once everything is written.
// "-" writes standard output, through the descriptor the tool was given.
#pragma once

#include <sndfile.h>

#include <memory>
#include <string>

#include "render/formats.h"
#include "render/safe_write.h"
#include "render/sink.h"

class PendingOutput {
public:
    PendingOutput() = default;
    ~PendingOutput() { discard(); }
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    bool create(const std::string& path, int format, int sampleRate, const OutputSize& size, std::string& error);
    SNDFILE* file() const { return file_; }
    // Why a write has failed so far; "" while none has.
    std::string failure() const;
    // Closes the audio and checks that all of it was written; afterwards
    // the temporary file may be edited (tags).
    bool finish(std::string& error);
    // The temporary file's, -1 for standard output.
    int descriptor() const { return temporary_.descriptor(); }
    const std::string& temporaryName() const { return temporary_.name(); }
    // `replace` allows an existing destination to be overwritten.
    bool commit(bool replace, std::string& error);
    void discard();

private:
    bool openStandardOutput(SF_INFO& info, const OutputSize& size, std::string& error);
    std::string path_;
    TemporaryFile temporary_;
    std::unique_ptr<SoundSink> sink_;
    std::unique_ptr<StdoutRelay> relay_;
    SNDFILE* file_ = nullptr;
};
