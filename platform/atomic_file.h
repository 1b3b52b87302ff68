// Whole-file replacement that never leaves a half-written file behind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

namespace pilvo {

// Writes `bytes` to a temporary file in the folder of `target`, flushes it to disk and renames
// it over `target`. On failure `target` is left as it was and the temporary file is removed.
std::error_code WriteFileAtomically(const std::filesystem::path& target,
                                    std::span<const std::uint8_t> bytes);
std::error_code WriteFileAtomically(const std::filesystem::path& target, std::string_view text);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path);

}  // namespace pilvo
