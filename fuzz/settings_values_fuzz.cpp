// Settings stores as they may be found on disk: any bytes as the content of "pilvo.ini" and of
// the product store. Every number reads as the decimal text stored, a number written reads
// back, and a write changes no other value, nor the file when it is refused.
//
// Input: the content of both store files.
#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/settings.h"
#include "fuzz_check.h"
#include "platform/atomic_file.h"
#include "scoped_config_dir.h"

namespace {

using namespace pilvo;
using fuzz::Check;
using Name = std::pair<std::string, std::string>;  // section, key

// A value no store holds: a key that reads as this is missing.
constexpr std::string_view kMissing = "\n";
constexpr int kFallback = -7;
constexpr std::size_t kMaxNamesChecked = 8;

const std::vector<Name> kLibraryIntegers = {{"TIMEOUT", "ReadInterval"},
                                            {"TIMEOUT", "ReadTotalMultiplier"},
                                            {"TIMEOUT", "ReadTotalConstant"},
                                            {"TEMPERATURA", "Ambiente"},
                                            {"UNIDIREZIONALE", "Valore"}};
const std::vector<Name> kProductIntegers = {{"Language", "Code"},
                                            {"Options", "ResetResize"},
                                            {"Options", "LimitResize"},
                                            {"Options", "LimitsAudio"}};

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

// The sections and keys the file seems to name, line by line.
std::vector<Name> NamesIn(std::string_view content) {
  std::vector<Name> names;
  std::string section;
  while (!content.empty() && names.size() < kMaxNamesChecked) {
    const std::size_t end = std::min(content.find('\n'), content.size());
    const std::string_view line = Trimmed(content.substr(0, end));
    content.remove_prefix(std::min(end + 1, content.size()));
    if (line.starts_with('[')) {
      section = std::string(Trimmed(line.substr(1, line.find(']') - 1)));
    } else if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
      names.emplace_back(section, std::string(Trimmed(line.substr(0, equals))));
    }
  }
  return names;
}

// The number a text stands for: blanks, a sign and decimal digits, wrapping at 32 bits. Nothing
// when the digits are too many to check this way.
std::optional<std::uint32_t> ExpectedNumber(std::string_view text) {
  const std::size_t start = std::min(text.find_first_not_of(" \t"), text.size());
  text.remove_prefix(start);
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  const std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
  if (digits > 18) return std::nullopt;
  std::int64_t value = 0;
  std::from_chars(text.data(), text.data() + digits, value);
  return static_cast<std::uint32_t>(negative ? -value : value);
}

std::string Value(const Name& name, const SettingsStore& store) {
  return GetSettingString(name.first, name.second, kMissing, store);
}

using Snapshot = std::vector<std::pair<Name, std::string>>;

// Checks each name's number against its text, and gives the texts.
Snapshot CheckNumbers(const std::vector<Name>& names, const SettingsStore& store) {
  Snapshot values;
  for (const Name& name : names) {
    const std::string text = Value(name, store);
    const std::uint32_t number = GetSettingInt(name.first, name.second, kFallback, store);
    if (text == kMissing || text.empty()) {
      Check(number == static_cast<std::uint32_t>(kFallback), "a missing number is its default");
    } else if (const auto expected = ExpectedNumber(text)) {
      Check(number == *expected, "a number is its leading decimal digits");
    }
    values.emplace_back(name, text);
  }
  return values;
}

bool SameName(const Name& a, const Name& b) {
  return Lower(a.first) == Lower(b.first) && Lower(a.second) == Lower(b.second);
}

// After a write of `written`: refused, the file is as it was; done, no other value changed.
void CheckWrite(bool done, const Name& written, const Snapshot& before,
                const std::vector<std::uint8_t>& fileBefore, const SettingsStore& store) {
  const auto path = SettingsStorePath(store);
  if (!done) {
    Check(ReadWholeFile(*path).value_or(std::vector<std::uint8_t>{}) == fileBefore,
          "a refused write leaves the file as it was");
    return;
  }
  for (const auto& [name, value] : before) {
    if (!SameName(name, written)) Check(Value(name, store) == value, "a write keeps other values");
  }
}

// The fuzzer's own settings folder, made once.
const testing::ScopedConfigDir& Folder() {
  static const testing::ScopedConfigDir folder("pilvo-settings-fuzz");
  return folder;
}

void Store(const SettingsStore& store, std::span<const std::uint8_t> content) {
  Check(!WriteFileAtomically(*SettingsStorePath(store), content), "the store file is written");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::filesystem::create_directories(
      SettingsStorePath(Folder().Store(kProductStore))->parent_path());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span content(data, size);
  const SettingsStore library = Folder().Store(kLibraryProfileStore);
  const SettingsStore product = Folder().Store(kProductStore);
  Store(library, content);
  Store(product, content);
  CheckNumbers(kProductIntegers, product);
  std::vector<Name> names = NamesIn(std::string_view(reinterpret_cast<const char*>(data), size));
  const bool anyFound = !names.empty();
  names.insert(names.end(), kLibraryIntegers.begin(), kLibraryIntegers.end());
  const Snapshot before = CheckNumbers(names, library);

  // Writing back a value read changes nothing that can be read.
  if (anyFound && before.front().second != kMissing) {
    const Name& name = before.front().first;
    const bool done = WriteSettingString(name.first, name.second, before.front().second, library);
    CheckWrite(done, {}, before, {content.begin(), content.end()}, library);
  }

  const std::vector<std::uint8_t> fileBefore =
      ReadWholeFile(*SettingsStorePath(library)).value_or(std::vector<std::uint8_t>{});
  const int number = static_cast<int>(size * 7919) - 65536;
  const Name& timeout = kLibraryIntegers.front();
  const bool done = WriteSettingInt(timeout.first, timeout.second, number, library);
  if (done) {
    Check(GetSettingInt(timeout.first, timeout.second, kFallback, library) ==
              static_cast<std::uint32_t>(number),
          "a number written reads back");
  }
  CheckWrite(done, timeout, before, fileBefore, library);
  return 0;
}
