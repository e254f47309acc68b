// Which libsndfile format an output gets, and what each format holds.
#pragma once

#include <string>

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
