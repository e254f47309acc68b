// Turns bytes into an audio file and puts it through the renderer's reading
// and tag copying: opening with every check, what the header promises,
// reading to the end, the shortfall, and the tags (read again from the file,
// and as libsndfile saw them) written into a small output of each format.
// The input's kind follows its first bytes, as a user's files would name
// it; the output's, its last byte.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "render/formats.h"
#include "render/input.h"
#include "render/samples.h"
#include "render/sink.h"
#include "render/tags.h"

namespace {

struct Kind {
    const char* magic;
    const char* extension;
};
// TagLib picks its reader by the extension; libsndfile looks inside.
constexpr Kind kKinds[] = {{"RIFF", "wav"}, {"RF64", "wav"}, {"fLaC", "flac"}, {"OggS", "ogg"}, {"ID3", "mp3"},
                           {"FORM", "aiff"}, {".snd", "au"}, {"caff", "caf"}, {"riff", "w64"}};
constexpr const char* kOtherExtensions[] = {"mp3", "opus", "wav", "flac", "aiff"};

constexpr int kOutputs[] = {SF_FORMAT_WAV | SF_FORMAT_PCM_16,   SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
                            SF_FORMAT_OGG | SF_FORMAT_VORBIS,   SF_FORMAT_OGG | SF_FORMAT_OPUS,
                            SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, SF_FORMAT_AIFF | SF_FORMAT_PCM_16,
                            SF_FORMAT_AU | SF_FORMAT_PCM_16};
constexpr int kOutputCount = sizeof kOutputs / sizeof kOutputs[0];

std::string folder() {
    static const std::string made = [] {
        char pattern[] = "/tmp/render-fuzz-XXXXXX";
        REQUIRE(mkdtemp(pattern) != nullptr);
        return std::string(pattern);
    }();
    return made;
}

bool writeFile(const std::string& path, const void* data, std::size_t size) {
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0) return false;
    const bool written = writeAll(descriptor, data, size);
    close(descriptor);
    return written;
}

// A small output of each format, made once, written through the same
// sink and sample writer as a render's.
const std::vector<std::string>& templates() {
    static const std::vector<std::string> made = [] {
        std::vector<std::string> files;
        const std::vector<float> tone(2048, 0.25f);
        for (int format : kOutputs) {
            const std::string path = folder() + "/template-" + std::to_string(files.size());
            const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            REQUIRE(descriptor >= 0);
            SoundSink sink(descriptor, UINT64_MAX, "");
            SF_INFO info{};
            info.samplerate = 48000;
            info.channels = 2;
            info.format = format;
            SNDFILE* file = sink.open(info);
            REQUIRE(file != nullptr);
            SampleWriter writer(file, format, false);
            REQUIRE(writer.write(tone.data(), tone.data(), sf_count_t(tone.size())));
            REQUIRE(sf_close(file) == 0 && sink.failure().empty());
            close(descriptor);
            files.push_back(path);
        }
        return files;
    }();
    return made;
}

std::string inputName(const std::uint8_t* data, std::size_t size) {
    for (const Kind& kind : kKinds)
        if (size >= std::strlen(kind.magic) && std::memcmp(data, kind.magic, std::strlen(kind.magic)) == 0)
            return folder() + "/input." + kind.extension;
    const std::size_t pick = size ? data[size - 1] / kOutputCount : 0;
    return folder() + "/input." + kOtherExtensions[pick % (sizeof kOtherExtensions / sizeof kOtherExtensions[0])];
}

// Reads everything there is, as a render does, and holds the shortfall
// to its one promise: it names what happened, or nothing.
void readToEnd(InputFile& input) {
    SampleReader reader(input.file(), input.info());
    std::vector<float> left(4096), right(4096);
    sf_count_t done = 0;
    for (sf_count_t got; (got = reader.read(left.data(), right.data(), 4096)) > 0 && done < (1 << 16);) done += got;
    const std::string shortfall = input.shortfall(done);
    REQUIRE(shortfall.empty() || shortfall.find(std::to_string(done)) != std::string::npos);
    OutputSize size;
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    std::string error;
    planOutputSize(format, input.expectedFrames(), input.info().samplerate, size, error);
}

void copyTagsInto(int outputIndex, const SourceTags& tags) {
    const std::string& source = templates()[std::size_t(outputIndex)];
    const std::string path = folder() + "/output";
    const int from = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    REQUIRE(from >= 0);
    std::string bytes;
    char buffer[65536];
    for (ssize_t got; (got = read(from, buffer, sizeof buffer)) > 0;) bytes.append(buffer, std::size_t(got));
    close(from);
    REQUIRE(writeFile(path, bytes.data(), bytes.size()));
    const int descriptor = open(path.c_str(), O_RDWR | O_CLOEXEC);
    REQUIRE(descriptor >= 0);
    std::string dropped, error;
    REQUIRE(writeTags(descriptor, path, kOutputs[outputIndex], tags, "fuzz", dropped, error));
    close(descriptor);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    templates();
    const std::string path = inputName(data, size);
    REQUIRE(writeFile(path, data, size));
    const int output = size ? data[size - 1] % kOutputCount : 0;
    InputFile input;
    std::string error;
    if (input.open(path, error)) {
        readToEnd(input);
        copyTagsInto(output, tagsOfStream(input.file()));
    }
    copyTagsInto(output, tagsOfFile(path));
    unlink(path.c_str());
    return 0;
}
