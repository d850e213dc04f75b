#include "WaveImage.h"

#include <string_view>

namespace belvane {

namespace {

void put32(std::string &out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void put16(std::string &out, std::uint16_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

} // namespace

std::string buildWaveImage(std::span<const std::int16_t> samples, int sampleRate)
{
    constexpr std::uint16_t bytesPerSample = 2;
    const auto dataSize = static_cast<std::uint32_t>(samples.size() * bytesPerSample);
    std::string out;
    out.reserve(44 + dataSize);
    out += "RIFF";
    put32(out, 36 + dataSize);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, 1); // mono
    put32(out, static_cast<std::uint32_t>(sampleRate));
    put32(out, static_cast<std::uint32_t>(sampleRate) * bytesPerSample);
    put16(out, bytesPerSample);
    put16(out, 16);
    out += "data";
    put32(out, dataSize);
    for (const std::int16_t sample : samples) {
        put16(out, static_cast<std::uint16_t>(sample));
    }
    return out;
}

bool isWaveHeader(std::string_view header)
{
    return header.size() >= 12 && header.substr(0, 4) == "RIFF" && header.substr(8, 4) == "WAVE";
}

} // namespace belvane
