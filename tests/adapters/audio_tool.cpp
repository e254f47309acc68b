// The real-host tests' helper: makes the input file, renders it through the
// VST module as the reference, and compares a host's output with it.
//   audio_tool input OUT.wav RATE FRAMES LEADING_SILENCE TRAILING_SILENCE [16]
//   audio_tool render MODULE IN.wav OUT.wav LEVEL_PERCENT DELAY_MS
//   audio_tool compare EXPECTED.wav ACTUAL.wav TOLERANCE [align]
//   audio_tool silent ACTUAL.wav
// An ACTUAL file named *.f32 is read as headerless stereo float.
// `align` drops the actual file's leading silence and compares the frames
// both files hold from their first non-zero sample on.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "crossfeed/descriptor.h"
#include "loader/plugin_host.h"
#include "support/module_under_test.h"

namespace {

struct Audio {
    int rate = 0;
    std::vector<float> frames;  // interleaved stereo
};

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A file named *.f32 is headerless interleaved stereo float, as ALSA's file
// plug-in writes it.
bool readStereo(const char* path, Audio& audio) {
    SF_INFO info{};
    if (endsWith(path, ".f32")) {
        info.format = SF_FORMAT_RAW | SF_FORMAT_FLOAT | SF_ENDIAN_LITTLE;
        info.channels = 2;
        info.samplerate = 44100;
    }
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file) {
        std::fprintf(stderr, "audio_tool: %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    if (info.channels != 2) {
        std::fprintf(stderr, "audio_tool: %s: %d channels\n", path, info.channels);
        sf_close(file);
        return false;
    }
    audio.rate = info.samplerate;
    audio.frames.resize(static_cast<std::size_t>(info.frames) * 2);
    const sf_count_t got = sf_readf_float(file, audio.frames.data(), info.frames);
    sf_close(file);
    return got == info.frames;
}

bool writeStereo(const char* path, const Audio& audio, int encoding = SF_FORMAT_FLOAT) {
    SF_INFO info{};
    info.samplerate = audio.rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | encoding;
    SNDFILE* file = sf_open(path, SFM_WRITE, &info);
    if (!file) return false;
    const sf_count_t frames = static_cast<sf_count_t>(audio.frames.size() / 2);
    const bool written = sf_writef_float(file, audio.frames.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

// Noise at half scale, one ear at a time and then both, between silences.
int makeInput(int argc, char** argv) {
    Audio audio;
    audio.rate = std::atoi(argv[1]);
    const std::size_t frames = std::strtoul(argv[2], nullptr, 10);
    const std::size_t leading = std::strtoul(argv[3], nullptr, 10);
    const std::size_t trailing = std::strtoul(argv[4], nullptr, 10);
    const std::vector<float> left = noise(frames, 17), right = noise(frames, 29);
    audio.frames.assign((leading + frames + trailing) * 2, 0.0f);
    for (std::size_t i = 0; i < frames; ++i) {
        const std::size_t third = i * 3 / frames;
        audio.frames[(leading + i) * 2] = third != 1 ? 0.5f * left[i] : 0.0f;
        audio.frames[(leading + i) * 2 + 1] = third != 0 ? 0.5f * right[i] : 0.0f;
    }
    const bool sixteen = argc > 5 && std::string(argv[5]) == "16";
    return writeStereo(argv[0], audio, sixteen ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT) ? 0 : 1;
}

int render(char** argv) {
    std::string error;
    auto module = PluginModule::load(argv[0], error);
    if (!module) {
        std::fprintf(stderr, "audio_tool: %s\n", error.c_str());
        return 1;
    }
    Audio audio;
    if (!readStereo(argv[1], audio)) return 1;
    EffectInstance effect(module->instantiate());
    // The control values as a host hands them over: floats.
    effect.setParameter(0, crossfeed::parameterFromControl(crossfeed::kLevelParameter, std::strtof(argv[3], nullptr)));
    effect.setParameter(1, crossfeed::parameterFromControl(crossfeed::kDelayParameter, std::strtof(argv[4], nullptr)));
    effect.setSampleRate(static_cast<float>(audio.rate));
    const std::size_t frames = audio.frames.size() / 2;
    std::vector<float> left(frames), right(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        left[i] = audio.frames[2 * i];
        right[i] = audio.frames[2 * i + 1];
    }
    float* channels[2] = {left.data(), right.data()};
    for (std::size_t done = 0; done < frames; done += 1024) {
        float* in[2] = {channels[0] + done, channels[1] + done};
        effect.processReplacing(in, in, static_cast<std::int32_t>(std::min<std::size_t>(1024, frames - done)));
    }
    for (std::size_t i = 0; i < frames; ++i) {
        audio.frames[2 * i] = left[i];
        audio.frames[2 * i + 1] = right[i];
    }
    return writeStereo(argv[2], audio) ? 0 : 1;
}

std::size_t firstSound(const std::vector<float>& frames) {
    std::size_t i = 0;
    while (i < frames.size() && frames[i] == 0.0f) ++i;
    return i / 2 * 2;
}

int compare(int argc, char** argv) {
    Audio expected, actual;
    if (!readStereo(argv[0], expected) || !readStereo(argv[1], actual)) return 1;
    const double tolerance = std::strtod(argv[2], nullptr);
    const bool align = argc > 3 && std::string(argv[3]) == "align";
    std::size_t from = 0, to = 0, count = expected.frames.size();
    if (align) {
        from = firstSound(expected.frames);
        to = firstSound(actual.frames);
        count = std::min(expected.frames.size() - from, actual.frames.size() - to);
        // Only the trailing silence may be missing.
        for (std::size_t i = from + count; i < expected.frames.size(); ++i)
            if (expected.frames[i] != 0.0f) {
                std::fprintf(stderr, "audio_tool: sound after %zu of %zu samples missing\n", count,
                             expected.frames.size() - from);
                return 1;
            }
    } else if (expected.frames.size() != actual.frames.size()) {
        std::fprintf(stderr, "audio_tool: %zu samples expected, %zu found\n", expected.frames.size(),
                     actual.frames.size());
        return 1;
    }
    double largest = 0.0;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const float a = expected.frames[from + i], b = actual.frames[to + i];
        if (!sameSample(a, b)) ++differing;
        const double difference = std::fabs(static_cast<double>(a) - b);
        if (!(difference <= largest)) largest = difference;
    }
    std::printf("compared %zu samples: %zu differ, largest difference %.3g (2^%.2f)\n", count, differing, largest,
                largest > 0 ? std::log2(largest) : -INFINITY);
    return count > 0 && largest <= tolerance && (tolerance > 0 || differing == 0) ? 0 : 1;
}

// Nothing arrived: no samples, or none but zeros.
int silent(const char* path) {
    Audio actual;
    if (!readStereo(path, actual)) return 1;
    std::size_t sounding = 0;
    for (const float sample : actual.frames)
        if (sample != 0.0f) ++sounding;
    std::printf("%zu of %zu samples not silent\n", sounding, actual.frames.size());
    return sounding == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "input" && (argc == 7 || argc == 8)) return makeInput(argc - 2, argv + 2);
    if (command == "render" && argc == 7) return render(argv + 2);
    if (command == "compare" && (argc == 5 || argc == 6)) return compare(argc - 2, argv + 2);
    if (command == "silent" && argc == 3) return silent(argv[2]);
    std::fprintf(stderr, "usage: see the comment at the top of audio_tool.cpp\n");
    return 2;
}
