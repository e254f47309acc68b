// Tags and pictures carried from the input to the output through TagLib.
#pragma once

#include <string>

// Copies what `outputFormat` (a libsndfile format) can hold from the file
// `input` into the finished file `output`, and adds `note` as the encoder
// setting. A tag the output cannot hold is dropped; false only when the
// output could not be saved.
bool copyTags(const std::string& input, const std::string& output, int outputFormat, const std::string& note,
              std::string& error);
