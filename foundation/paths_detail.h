// Internals of the path helpers that tests reach directly: the free-space text formatting and
// the lexical folding of "." and "..".
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace orvex2::detail {

// " (1,200.0M Free)" for 1258291200 bytes; empty text for 0 bytes.
QString FormatFreeText(std::uint64_t freeBytes);

// The names of an absolute path after folding "", "." and ".." ("/.." stays at the root).
// Empty optional: the path is not absolute or holds a NUL character.
std::optional<QStringList> FoldAbsolutePath(const QString& path);

}  // namespace orvex2::detail
