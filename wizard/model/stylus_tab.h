// What the two stylus procedures share: where a TAB file keeps the stylus length, the choice of
// the new file beside the one in use, and that file written with a new stylus length and
// without probe records (a new stylus invalidates the probes calibrated with the old one).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "data/tab_file.h"

namespace pilvo {
class ArmSession;
class Prompts;
}  // namespace pilvo

namespace pilvo::wizard {

// The save dialog of a TAB file (filter kTabFileFilter, extension kTabExtension), opened in
// `folder` with `proposedName`: a path, or nothing on Cancel.
using SaveTabChooser = std::function<std::optional<std::filesystem::path>(
    const std::string& proposedName, const std::filesystem::path& folder)>;
inline constexpr std::string_view kTabExtension = "tab";

// The index of the stylus length among the kinematic parameters: the first value of the probe
// group of a Denavit-Hartenberg chain (4N), the sixth of a six-parameter chain (6N + 5), N the
// joint count, with the group sizes the kinematics and the writer use. Nothing for a joint
// count no record can hold.
std::optional<std::size_t> StylusLengthIndex(const ArmRecord& record);

// Asks for the new file, in the folder of the file in use. Nothing on Cancel, or after "The
// name of the two TAB files is the same." when the choice is the file in use, by whatever path.
std::optional<std::filesystem::path> ChooseNewTabFile(const SaveTabChooser& choose,
                                                      ArmSession& session);

// Writes `tab` to `path` with `change` mm added to the stylus length of its main record and no
// probe records; `tab` is the caller's copy, so the loaded data stays as read. False, after
// "Errore in Salva TAB", when the file cannot be written (the path then holds what it held).
bool WriteWithStylusChange(TabContents tab, double change, const std::filesystem::path& path,
                           Prompts& ui);

}  // namespace pilvo::wizard
