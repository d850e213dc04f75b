#include "ActionRecord.h"

#include <cstring>

namespace belvane {

namespace {

constexpr std::size_t enabledOffset = 0;
constexpr std::size_t windowSizeOffset = 4;
constexpr std::size_t reservedOffset = 8;
constexpr std::size_t nameOffset = 64;
constexpr std::size_t actionFileOffset = 128;
constexpr std::size_t parametersOffset = 384;
constexpr std::size_t workFolderOffset = 640;

static_assert(workFolderOffset + sizeof(ActionRecord::workFolder) == ActionRecord::size);

template<std::size_t N>
void putField(unsigned char *image, std::size_t offset, const std::array<char, N> &field)
{
    std::memcpy(image + offset, field.data(), N);
}

template<std::size_t N>
void takeField(const unsigned char *image, std::size_t offset, std::array<char, N> &field)
{
    std::memcpy(field.data(), image + offset, N);
}

} // namespace

std::array<unsigned char, ActionRecord::size> ActionRecord::toBytes() const
{
    std::array<unsigned char, size> image {};
    writeInt32Le(image.data() + enabledOffset, enabled);
    writeInt32Le(image.data() + windowSizeOffset, windowSize);
    putField(image.data(), reservedOffset, reserved);
    putField(image.data(), nameOffset, name);
    putField(image.data(), actionFileOffset, actionFile);
    putField(image.data(), parametersOffset, parameters);
    putField(image.data(), workFolderOffset, workFolder);
    return image;
}

ActionRecord ActionRecord::fromBytes(const unsigned char *bytes)
{
    ActionRecord record;
    record.enabled = readInt32Le(bytes + enabledOffset);
    record.windowSize = readInt32Le(bytes + windowSizeOffset);
    takeField(bytes, reservedOffset, record.reserved);
    takeField(bytes, nameOffset, record.name);
    takeField(bytes, actionFileOffset, record.actionFile);
    takeField(bytes, parametersOffset, record.parameters);
    takeField(bytes, workFolderOffset, record.workFolder);
    return record;
}

} // namespace belvane
