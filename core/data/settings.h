// The persistent settings: the product key, the installation key, "pilvo.ini" and the
// application profiles, all in one store on disk.
//
// A store name that contains ".ini" is a private profile file (kept as that file in the
// configuration folder); any other name is a registry application under software\Kelmorad
// (kept as <folder>/registry/<application path>.ini, one section per registry key).
// Section, key and store names compare without regard to case, as on the original platform.
// Every write is atomic and serialised against other processes through a lock file.
// Names and values are kept exactly as given; a write whose section, key or value the file
// could not keep as given (a line break, a key with "=", a section with "]", blanks around a
// name) is refused, as is a store name that is not a plain file or registry path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pilvo {

// Store names used across the code base.
inline constexpr std::string_view kProductStore = "Pilvo3D";
inline constexpr std::string_view kLibraryProfileStore = "pilvo.ini";
inline constexpr std::string_view kWizardProfileStore = "PilvoWizard";
inline constexpr std::string_view kRotatingTableFile = "pilvo.ini";

// One store of one settings folder: the file-or-application argument of the settings functions.
struct SettingsStore {
  std::filesystem::path folder;  // the folder that holds every store of a program
  std::string name;
};

// The file that keeps `store`, or nothing when the name cannot be a store (empty, a path,
// ".." and the like) or there is no folder.
std::optional<std::filesystem::path> SettingsStorePath(const SettingsStore& store);

// An integer setting; `fallback` when the store, section or key is missing. Text is read as a
// decimal number up to the first character that is not a digit (an optional sign first), so
// "-1" gives 0xFFFFFFFF and "12abc" gives 12.
std::uint32_t GetSettingInt(std::string_view section, std::string_view key, int fallback,
                            const SettingsStore& store);

// A text setting; `fallback` when the store, section or key is missing.
std::string GetSettingString(std::string_view section, std::string_view key,
                             std::string_view fallback, const SettingsStore& store);

// Writes the value formatted with "%d". Returns false when the store cannot be written.
bool WriteSettingInt(std::string_view section, std::string_view key, int value,
                     const SettingsStore& store);

// Writes a text. Without `key` the whole section is deleted; without `text` the key is.
// Returns false when the store cannot be written.
bool WriteSettingString(std::string_view section, std::optional<std::string_view> key,
                        std::optional<std::string_view> text, const SettingsStore& store);

// One value of a group that WriteSettings writes together.
struct SettingText {
  std::string_view section;
  std::string_view key;
  std::string_view text;
};

// Writes every value in one replacement of the store file, so that a failure leaves none of them
// written. False, with nothing written, when one of them could not be kept as given or the store
// cannot be written.
bool WriteSettings(std::span<const SettingText> values, const SettingsStore& store);

// "pilvo.dll\" followed by the module's folder (up to and including the last "/") with every
// "/" replaced by "_": /opt/arm/libpilvo.so gives "pilvo.dll\_opt_arm_".
std::string InstallationNameFor(std::string_view modulePath);

}  // namespace pilvo
