#include "clap/state_format.h"

#include <cmath>
#include <cstring>

namespace crossfeed_clap {

namespace {

constexpr std::uint8_t kMagic[4] = {'X', 'F', 's', 't'};

void put32(std::uint8_t* at, std::uint32_t value) noexcept {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void put64(std::uint8_t* at, double value) noexcept {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::uint32_t get32(const std::uint8_t* at) noexcept {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return value;
}

double get64(const std::uint8_t* at) noexcept {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(at[i]) << (8 * i);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

void encodeState(const Settings& settings, std::uint8_t (&bytes)[kStateBytes]) noexcept {
    std::memcpy(bytes, kMagic, sizeof kMagic);
    put32(bytes + 4, kStateFormat);
    put64(bytes + 8, settings.plain[crossfeed::kLevelParameter]);
    put64(bytes + 16, settings.plain[crossfeed::kDelayParameter]);
    put32(bytes + 24, static_cast<std::uint32_t>(settings.program));
}

bool decodeState(const std::uint8_t* bytes, std::size_t size, Settings& settings) noexcept {
    if (!bytes || size < 8 || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return false;
    if (get32(bytes + 4) != kStateFormat || size != kStateBytes) return false;
    Settings read;
    read.plain[crossfeed::kLevelParameter] = get64(bytes + 8);
    read.plain[crossfeed::kDelayParameter] = get64(bytes + 16);
    const std::uint32_t program = get32(bytes + 24);
    for (std::int32_t parameter = 0; parameter < crossfeed::kParameterCount; ++parameter)
        if (!crossfeed::plainInRange(static_cast<crossfeed::Parameter>(parameter), read.plain[parameter]))
            return false;
    if (program >= static_cast<std::uint32_t>(crossfeed::kPresetCount)) return false;
    read.program = static_cast<std::int32_t>(program);
    settings = read;
    return true;
}

bool writeAll(const clap_ostream_t* stream, const std::uint8_t* bytes, std::size_t size) noexcept {
    if (!stream || !stream->write) return false;
    std::size_t done = 0;
    while (done < size) {
        const std::int64_t wrote = stream->write(stream, bytes + done, size - done);
        if (wrote <= 0 || static_cast<std::uint64_t>(wrote) > size - done) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

bool readToEnd(const clap_istream_t* stream, std::uint8_t* bytes, std::size_t capacity, std::size_t& size) noexcept {
    if (!stream || !stream->read) return false;
    size = 0;
    std::uint8_t extra;
    while (size <= capacity) {
        std::uint8_t* into = size < capacity ? bytes + size : &extra;
        const std::uint64_t wanted = size < capacity ? capacity - size : 1;
        const std::int64_t got = stream->read(stream, into, wanted);
        if (got == 0) return true;
        if (got < 0 || static_cast<std::uint64_t>(got) > wanted) return false;
        size += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace crossfeed_clap
