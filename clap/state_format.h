// What an instance keeps in a host's session: both plain values and the
// selected program, as bytes whose meaning no platform changes.
//
// Format 1, 28 bytes, every number little-endian:
//   0   4 bytes  "XFst"
//   4   uint32   format, 1
//   8   float64  level, percent
//   16  float64  delay, milliseconds at 44.1 kHz
//   24  int32    selected program, 0 to 3
#pragma once

#include <clap/stream.h>

#include <cstddef>
#include <cstdint>

#include "crossfeed/descriptor.h"

namespace crossfeed_clap {

struct Settings {
    double plain[crossfeed::kParameterCount];
    std::int32_t program;
};

constexpr std::uint32_t kStateFormat = 1;
constexpr std::size_t kStateBytes = 28;

void encodeState(const Settings& settings, std::uint8_t (&bytes)[kStateBytes]) noexcept;

// False for anything but a whole state of this format with values in
// range: too short or long, another magic, a later format, NaN.
bool decodeState(const std::uint8_t* bytes, std::size_t size, Settings& settings) noexcept;

// The host's streams may move fewer bytes per call than asked.
bool writeAll(const clap_ostream_t* stream, const std::uint8_t* bytes, std::size_t size) noexcept;
// Reads to the end of the stream or `capacity` + 1 bytes, whichever comes
// first, so a longer stream shows as longer. False on a read error.
bool readToEnd(const clap_istream_t* stream, std::uint8_t* bytes, std::size_t capacity, std::size_t& size) noexcept;

}  // namespace crossfeed_clap
