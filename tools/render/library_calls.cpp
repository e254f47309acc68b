#include "render/library_calls.h"

namespace {

std::mutex& oneAtATime() {
    static std::mutex mutex;
    return mutex;
}

LibraryCallWitness witness = nullptr;

}  // namespace

LibraryCall::LibraryCall(const std::string& subject) : lock_(oneAtATime()) {
    if (witness) witness(&subject);
}

LibraryCall::~LibraryCall() {
    if (witness) witness(nullptr);
}

void witnessLibraryCalls(LibraryCallWitness given) { witness = given; }
