// The safe-write life of an output: checks before any work, a temporary
// file beside the destination, and a rename into place once complete.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

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
