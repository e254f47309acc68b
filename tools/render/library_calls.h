// Calls into libsndfile and the decoders under it that must not overlap:
// libsndfile keeps the error of a failed open in one global, and some
// readers (libmpg123, libsndfile's MIDI sample dump reader) print what they
// meet. Such calls run one at a time, each announced with the file it works
// on, so that what it prints can be said to be of that file.
#pragma once

#include <mutex>
#include <string>

class LibraryCall {
public:
    explicit LibraryCall(const std::string& subject);
    ~LibraryCall();
    LibraryCall(const LibraryCall&) = delete;
    LibraryCall& operator=(const LibraryCall&) = delete;

private:
    std::unique_lock<std::mutex> lock_;
};

// Told the subject when a call begins and null once it has ended (after
// everything the call printed has been passed on). Nothing by default.
using LibraryCallWitness = void (*)(const std::string* subject);
void witnessLibraryCalls(LibraryCallWitness witness);
