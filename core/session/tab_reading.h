// Reading a TAB file the way a program opens one: the parser with the operator's messages.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "data/tab_file.h"
#include "session/operator_ports.h"

namespace pilvo {

namespace tab_read {
inline constexpr int kAccepted = 0;
inline constexpr int kRejected = -1;
}  // namespace tab_read

// ParseTabFile with the operator's messages in the program's caption and language: the rejection
// messages, and for the library reading a file older than the current version the
// previous-version warning. tab_read::kAccepted or tab_read::kRejected.
int ReadTabFile(std::span<const std::uint8_t> bytes, TabContents& contents,
                const ProductContext& context, Prompts& prompts);
// The same on a file; a file that cannot be opened is rejected as not valid.
int ReadTabFile(const std::filesystem::path& path, TabContents& contents,
                const ProductContext& context, Prompts& prompts);

}  // namespace pilvo
