// Temporary files that a signal must remove before the process ends.
#pragma once

#include <string>

// A slot for `path`, or -1 when none is free (the file is then not removed
// on a signal).
int claimSlot(const std::string& path);
void releaseSlot(int slot);

// Every signal that ends the process first unlinks the pending temporary
// files: a request to stop exits 130 (interrupt) or 128+N, a fault ends the
// process by its signal as it would have. A file-size limit makes writes
// fail instead (reported like a full disk), and a reader that goes away
// shows up as a write error.
void watchSignals();
