#include "render/formats.h"

#include <sndfile.h>
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <vector>

namespace {

struct Alias {
    const char* extension;
    int format;
};
// Names libsndfile's own list lacks, or lists for several formats.
constexpr Alias kAliases[] = {
    {"wav", SF_FORMAT_WAV},   {"wave", SF_FORMAT_WAV},  {"aif", SF_FORMAT_AIFF},     {"aifc", SF_FORMAT_AIFF},
    {"snd", SF_FORMAT_AU},    {"ogg", SF_FORMAT_OGG},   {"opus", SF_FORMAT_OGG},     {"mp3", SF_FORMAT_MPEG},
    {"mp2", SF_FORMAT_MPEG},  {"mpc", SF_FORMAT_MPC2K}, {"nist", SF_FORMAT_NIST},    {"mat", SF_FORMAT_MAT5},
    {"raw", 0},  // header-less audio could not be read back
};

// 0 when libsndfile writes no format by that extension.
int majorFormatFor(const std::string& extension) {
    for (const Alias& alias : kAliases)
        if (extension == alias.extension) return alias.format;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension && strcasecmp(info.extension, extension.c_str()) == 0) return info.format;
    }
    return 0;
}

bool formatWorks(int format, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = format;
    return sf_format_check(&info);
}

}  // namespace

bool isLossy(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III: return true;
    default: return false;
    }
}

int integerBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    default: return 0;
    }
}

bool isInteger(int format) { return integerBits(format) > 0; }

namespace {

// The subtypes to try in order: the one asked for, or the input's where the
// container holds it, then the usual ones.
std::vector<int> candidateSubtypes(int major, const std::string& extension, int inputFormat, const std::string& bits) {
    if (major == SF_FORMAT_OGG) {
        if (extension == "opus" || (extension.empty() && (inputFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS))
            return {SF_FORMAT_OPUS};
        return {SF_FORMAT_VORBIS};
    }
    if (major == SF_FORMAT_MPEG) return {SF_FORMAT_MPEG_LAYER_III};
    if (!bits.empty())
        return {bits == "16" ? SF_FORMAT_PCM_16 : bits == "24" ? SF_FORMAT_PCM_24 : bits == "32" ? SF_FORMAT_PCM_32
                                                                                              : SF_FORMAT_FLOAT};
    std::vector<int> candidates;
    const int subtype = inputFormat & SF_FORMAT_SUBMASK;
    // Decoded lossy input came from, and is played as, 16-bit.
    if (!isLossy(inputFormat)) candidates.push_back(subtype);
    if (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE) candidates.push_back(SF_FORMAT_PCM_24);
    candidates.insert(candidates.end(), {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT});
    return candidates;
}

// Bytes a stereo frame takes at most in this encoding.
std::uint64_t frameBytes(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_24: return 6;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 8;
    case SF_FORMAT_DOUBLE: return 16;
    default: return integerBits(format) == 8 ? 2 : 4;  // 8-bit and companded; 16-bit; ADPCM and the like less
    }
}

// Containers whose header states sizes in 64 bits, or none at all.
bool holdsAnySize(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_RF64:
    case SF_FORMAT_W64:
    case SF_FORMAT_CAF:
    case SF_FORMAT_FLAC:
    case SF_FORMAT_OGG:
    case SF_FORMAT_MPEG: return true;
    default: return false;
    }
}

std::string gibibytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", double(bytes) / double(1ull << 30));
    return text;
}

}  // namespace

bool chooseOutputFormat(const std::string& extension, int inputFormat, int sampleRate, const std::string& bits,
                        int& format, std::string& error) {
    const int inputMajor = inputFormat & SF_FORMAT_TYPEMASK;
    int major = inputMajor;
    if (!extension.empty()) {
        major = majorFormatFor(extension);
        if (major == 0) {
            error = "libsndfile writes no '." + extension + "' files";
            return false;
        }
    }
    const std::vector<int> candidates = candidateSubtypes(major, extension, inputFormat, bits);
    if (isLossy(candidates.front()) && !bits.empty()) {
        error = "--bits applies only to uncompressed and FLAC output";
        return false;
    }
    // Keep the input's byte order only within its own container.
    const int endian = major == inputMajor ? (inputFormat & SF_FORMAT_ENDMASK) : 0;
    for (int subtype : candidates)
        for (int order : {endian, 0})
            if (formatWorks(major | subtype | order, sampleRate)) {
                format = major | subtype | order;
                return true;
            }
    error = "cannot write " + formatName(major | candidates.front()) + " as stereo at " + std::to_string(sampleRate) +
            " Hz";
    return false;
}

bool planOutputSize(int& format, std::uint64_t frames, int sampleRate, OutputSize& size, std::string& error) {
    size = OutputSize{};
    if (holdsAnySize(format)) return true;
    const int major = format & SF_FORMAT_TYPEMASK;
    const bool wav = major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX;
    const int rf64 = SF_FORMAT_RF64 | (format & SF_FORMAT_SUBMASK);
    const bool known = frames != kUnknownFrames;
    const std::uint64_t bytes = !known ? 0 : frames > kClassicLimit ? UINT64_MAX : frames * frameBytes(format);
    if (wav && (!known || bytes > kClassicLimit) && formatWorks(rf64, sampleRate)) {
        // Of unknown length, RF64 that libsndfile writes as WAV if it stays small.
        format = rf64;
        size.downgrade = !known;
        return true;
    }
    const std::string name = formatName(major);
    if (known && bytes > kClassicLimit) {
        error = name + " holds at most 4 GiB and this audio takes " + gibibytes(bytes) +
                " (.rf64, .w64 and .caf hold more)";
        return false;
    }
    size.limit = kClassicLimit;
    size.reason = name + " holds at most 4 GiB (.rf64, .w64 and .caf hold more)";
    return true;
}

std::string formatName(int format) {
    std::string name = "audio";
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.extension) {
        name = info.extension;
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG) name = "Ogg";
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) name = "MPEG";
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return name + " 8-bit";
    case SF_FORMAT_PCM_16: return name + " 16-bit";
    case SF_FORMAT_PCM_24: return name + " 24-bit";
    case SF_FORMAT_PCM_32: return name + " 32-bit";
    case SF_FORMAT_FLOAT: return name + " float";
    case SF_FORMAT_DOUBLE: return name + " double";
    case SF_FORMAT_VORBIS: return name + " Vorbis";
    case SF_FORMAT_OPUS: return name + " Opus";
    case SF_FORMAT_MPEG_LAYER_III: return "MP3";
    default: return name;
    }
}
