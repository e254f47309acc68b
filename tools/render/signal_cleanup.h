// Temporary files that a signal must remove before the process ends.
#pragma once

#include <string>

// A slot for `path`, or -1 when none is free (the file is then not removed
// on a signal).
int claimSlot(const std::string& path);
void releaseSlot(int slot);

// Unlinks every pending temporary file and exits 130 (interrupt) or 128+N.
void watchSignals();
