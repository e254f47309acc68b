// Tags and pictures carried from the input to the output through TagLib.
#pragma once

#include <sndfile.h>
#include <taglib/infotag.h>
#include <taglib/tpropertymap.h>

#include <string>
#include <vector>

namespace TagLib {
class File;
}

struct Picture {
    TagLib::String mime, description;
    int type = 3;
    TagLib::ByteVector data;
};

// What an input says about itself, as far as the output may carry it.
struct SourceTags {
    TagLib::PropertyMap properties;
    std::vector<Picture> pictures;
    TagLib::RIFF::Info::FieldListMap info;  // WAV's own, kept field by field
};

// Everything TagLib reads from `file`.
SourceTags tagsOf(TagLib::File* file);
// A file read again by name.
SourceTags tagsOfFile(const std::string& path);
// An input read once (a pipe): what libsndfile found in that one read.
SourceTags tagsOfStream(SNDFILE* input);

// Writes what `outputFormat` (a libsndfile format) can hold into the
// finished output on `descriptor`, with `note` as the encoder setting. A
// tag the output cannot hold is dropped; `dropped` says so where the user
// would expect them. False only when the output could not be saved.
bool writeTags(int descriptor, const std::string& name, int outputFormat, const SourceTags& tags,
               const std::string& note, std::string& dropped, std::string& error);
