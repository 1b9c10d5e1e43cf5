// Internals of the path helpers that tests reach directly: the free-space text formatting.
#pragma once

#include <QString>
#include <cstdint>

namespace orvex2::detail {

// " (1,200.0M Free)" for 1258291200 bytes; empty text for 0 bytes.
QString FormatFreeText(std::uint64_t freeBytes);

}  // namespace orvex2::detail
