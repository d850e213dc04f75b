#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace belvane {

// The bytes of a RIFF WAVE file holding 16-bit PCM mono samples at `sampleRate`.
std::string buildWaveImage(std::span<const std::int16_t> samples, int sampleRate);

// True when `header` (the first 12 bytes of a file, or more) starts a RIFF WAVE file.
bool isWaveHeader(std::string_view header);

} // namespace belvane
