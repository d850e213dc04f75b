#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace belvane {

// A decimal integer, optionally signed, with blanks or tabs allowed before and after it; nullopt for
// anything else, an empty text and a value beyond 32 bits included.
std::optional<std::int32_t> parseInteger(const QString &text);

} // namespace belvane
