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

// Writes `bytes` to a temporary file in the folder of `target`, flushes it to disk, renames it
// over `target` and flushes the folder, so that a crash leaves either the previous file or the
// new one, whole. On failure the temporary file is removed and `target` is left as it was, except
// when only the final flush of the folder failed: `target` then holds the new bytes, which a
// crash may still undo.
std::error_code WriteFileAtomically(const std::filesystem::path& target,
                                    std::span<const std::uint8_t> bytes);
std::error_code WriteFileAtomically(const std::filesystem::path& target, std::string_view text);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path);

}  // namespace pilvo
