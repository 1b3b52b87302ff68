#include "data/settings.h"

#include <algorithm>
#include <array>
#include <system_error>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/file_lock.h"

// Only the narrow-character parser is used, so no Unicode conversion library is needed; the
// packaged header compiles its template bodies in only on request, which keeps the parser
// inside this file rather than pulling in the packaged library and its ICU dependencies.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace pilvo {
namespace fs = std::filesystem;
namespace {

// Every writer of every store takes this one lock, so the library and the wizard can write at
// the same time without losing each other's keys.
constexpr std::string_view kLockFileName = "settings.lock";
constexpr std::string_view kRegistryFolder = "registry";
constexpr std::string_view kStoreFileSuffix = ".ini";
constexpr std::string_view kPrivateProfileMark = ".ini";
constexpr char kRegistrySeparator = '\\';

std::string ToLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

// One file or folder name: never a way out of the settings folder.
bool IsPlainName(std::string_view name) {
  constexpr std::string_view kForbidden("/\\\0", 3);
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(kForbidden) == std::string_view::npos;
}

// A zero byte or a line break would end the name or value early in the file.
bool IsSingleLine(std::string_view text) {
  constexpr std::string_view kLineEnds("\0\n\r", 3);
  return text.find_first_of(kLineEnds) == std::string_view::npos;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool HasOuterBlanks(std::string_view text) {
  return !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()));
}

// The file trims blanks around names and gives "]" in a section and "=" in a key, or ";", "#"
// and "[" at the start of a key, a meaning of their own: such names could not be read back.
bool IsStorableSection(std::string_view section) {
  return !section.empty() && IsSingleLine(section) && !HasOuterBlanks(section) &&
         section.find(']') == std::string_view::npos;
}

bool IsStorableKey(std::string_view key) {
  return !key.empty() && IsSingleLine(key) && !HasOuterBlanks(key) &&
         key.find('=') == std::string_view::npos && key.find_first_of(";#[") != 0;
}

// The file trims blanks around a value and strips one pair of surrounding double quotes, so a
// value that would lose either is stored inside quotes of its own.
std::string EncodeValue(std::string_view text) {
  const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
  if (!HasOuterBlanks(text) && !quoted) return std::string(text);
  return '"' + std::string(text) + '"';
}

// Decimal digits after optional blanks and sign, up to the first other character; the result
// wraps as a 32-bit register does, so "-1" is 0xFFFFFFFF.
std::uint32_t ParseLeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  return negative ? 0u - value : value;
}

// Keys are unique, values single-line, and quotes are understood (see EncodeValue).
void Configure(CSimpleIniA& ini) {
  ini.SetMultiKey(false);
  ini.SetMultiLine(false);
  ini.SetQuotes(true);
  ini.SetSpaces(false);
}

// Fills `ini` from the store file; a missing file is an empty store. False when the file exists
// but cannot be read, or holds a zero byte (the parser would silently drop what follows it, and
// the next write would lose it). Lines that are neither a section, a key nor a comment are
// skipped, and the next write drops them.
bool LoadStore(const fs::path& path, CSimpleIniA& ini) {
  Configure(ini);
  std::error_code error;
  if (!fs::exists(path, error)) return !error;
  const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path);
  if (!bytes || std::find(bytes->begin(), bytes->end(), 0) != bytes->end()) return false;
  return ini.LoadData(reinterpret_cast<const char*>(bytes->data()), bytes->size()) >= 0;
}

std::optional<std::string> ReadValue(std::string_view section, std::string_view key,
                                     const SettingsStore& store) {
  if (!IsStorableSection(section) || !IsStorableKey(key)) return std::nullopt;
  const std::optional<fs::path> path = SettingsStorePath(store);
  if (!path) return std::nullopt;
  CSimpleIniA ini;
  if (!LoadStore(*path, ini)) return std::nullopt;
  const char* value = ini.GetValue(std::string(section).c_str(), std::string(key).c_str());
  if (value == nullptr) return std::nullopt;
  return value;
}

// Applies `change` to the store under the settings lock, reading the file afresh so that no
// other writer's keys are lost. `change` returns SI_OK when it left the store as it was, more
// when it changed it, less on failure.
template <typename Change>
bool UpdateStore(const SettingsStore& store, Change change) {
  const std::optional<fs::path> path = SettingsStorePath(store);
  if (!path) return false;
  std::error_code error;
  fs::create_directories(path->parent_path(), error);
  if (error) return false;
  const FileLock lock(store.folder / kLockFileName);
  if (!lock.held()) return false;

  CSimpleIniA ini;
  if (!LoadStore(*path, ini)) return false;
  const SI_Error result = change(ini);
  if (result < 0) return false;
  if (result == SI_OK) return true;
  std::string text;
  if (ini.Save(text, ini.IsUnicode()) < 0) return false;  // keeps a byte-order mark read in
  return !WriteFileAtomically(*path, text);
}

SI_Error Outcome(bool changed) {
  return changed ? SI_UPDATED : SI_OK;
}

}  // namespace

std::optional<fs::path> SettingsStorePath(const SettingsStore& settingsStore) {
  const fs::path& folder = settingsStore.folder;
  if (folder.empty()) return std::nullopt;
  std::string_view store = settingsStore.name;
  if (store.find(kPrivateProfileMark) != std::string_view::npos) {
    if (!IsPlainName(store)) return std::nullopt;
    return folder / ToLower(store);
  }
  // A registry application: one folder per key level, the last level a file.
  fs::path path = folder / kRegistryFolder;
  while (true) {
    const std::size_t separator = store.find(kRegistrySeparator);
    const std::string_view component = store.substr(0, separator);
    if (!IsPlainName(component)) return std::nullopt;
    path /= ToLower(component);
    if (separator == std::string_view::npos) break;
    store.remove_prefix(separator + 1);
  }
  path += kStoreFileSuffix;
  return path;
}

std::uint32_t GetSettingInt(std::string_view section, std::string_view key, int fallback,
                            const SettingsStore& store) {
  // An empty value counts as missing, so clearing a number brings back its default.
  const std::optional<std::string> text = ReadValue(section, key, store);
  if (!text || text->empty()) return static_cast<std::uint32_t>(fallback);
  return ParseLeadingInteger(*text);
}

std::string GetSettingString(std::string_view section, std::string_view key,
                             std::string_view fallback, const SettingsStore& store) {
  return ReadValue(section, key, store).value_or(std::string(fallback));
}

bool WriteSettingInt(std::string_view section, std::string_view key, int value,
                     const SettingsStore& store) {
  return WriteSettingString(section, key, std::to_string(value), store);
}

bool WriteSettingString(std::string_view section, std::optional<std::string_view> key,
                        std::optional<std::string_view> text, const SettingsStore& store) {
  if (!IsStorableSection(section)) return false;
  const std::string sectionName(section);
  if (!key) {
    return UpdateStore(
        store, [&](CSimpleIniA& ini) { return Outcome(ini.Delete(sectionName.c_str(), nullptr)); });
  }
  if (!IsStorableKey(*key)) return false;
  const std::string keyName(*key);
  if (!text) {
    return UpdateStore(store, [&](CSimpleIniA& ini) {
      return Outcome(ini.Delete(sectionName.c_str(), keyName.c_str()));
    });
  }
  return WriteSettings(std::array{SettingText{section, *key, *text}}, store);
}

bool WriteSettings(std::span<const SettingText> values, const SettingsStore& store) {
  for (const SettingText& value : values) {
    if (!IsStorableSection(value.section) || !IsStorableKey(value.key) ||
        !IsSingleLine(value.text)) {
      return false;
    }
  }
  return UpdateStore(store, [&](CSimpleIniA& ini) {
    SI_Error outcome = SI_OK;
    for (const SettingText& value : values) {
      const SI_Error result =
          ini.SetValue(std::string(value.section).c_str(), std::string(value.key).c_str(),
                       EncodeValue(value.text).c_str());
      if (result < 0) return result;
      outcome = std::max(outcome, result);
    }
    return outcome;
  });
}

std::string InstallationNameFor(std::string_view modulePath) {
  const std::size_t lastSlash = modulePath.rfind('/');
  std::string folder(lastSlash == std::string_view::npos ? std::string_view()
                                                         : modulePath.substr(0, lastSlash + 1));
  std::replace(folder.begin(), folder.end(), '/', '_');
  return "pilvo.dll\\" + folder;
}

}  // namespace pilvo
