#include "data/local_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <limits>

#include "data/settings.h"

namespace pilvo {
namespace {

constexpr int kLanguageCount = 4;
constexpr int kLanguageStep = 1000;
constexpr std::string_view kMissingTranslation = "-";
constexpr std::string_view kFallbackMark = ">";
constexpr std::uint32_t kSystemLanguage = 0xFFFFFFFF;

struct TextEntry {
  int id;
  std::array<std::string_view, kLanguageCount> texts;  // English, Italian, French, German
};

constexpr TextEntry kTexts[] = {
#define PILVO_TEXT(id, english, italian, french, german) {id, {english, italian, french, german}},
#include "texts.inc"
#undef PILVO_TEXT
};

constexpr bool IdsAscend() {
  return std::ranges::adjacent_find(kTexts, std::ranges::greater_equal{}, &TextEntry::id) ==
         std::ranges::end(kTexts);
}
static_assert(IdsAscend(), "texts.inc must list each id once, in ascending order");

struct Resource {
  int id;
  std::string_view text;
};

// The string table as the resource compiler lays it out: one entry per language block, each
// block shifted by kLanguageStep, sorted by resource id.
constexpr auto kResources = [] {
  std::array<Resource, std::size(kTexts) * kLanguageCount> resources{};
  auto out = resources.begin();
  for (const TextEntry& entry : kTexts) {
    for (int language = 0; language < kLanguageCount; ++language) {
      *out++ = {entry.id + language * kLanguageStep, entry.texts[language]};
    }
  }
  std::ranges::sort(resources, {}, &Resource::id);
  return resources;
}();

// A translation landing on another text's id would silently replace it in the table.
static_assert(std::ranges::adjacent_find(kResources, {}, &Resource::id) == kResources.end(),
              "two texts of texts.inc share a resource id");

int BaseOf(long long code) {
  const long long base = code * kLanguageStep;
  return static_cast<int>(std::clamp<long long>(base, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

}  // namespace

void Language::Select(int code) {
  code_ = code;
  base_ = BaseOf(code);
}

int LanguageCodeAtStart(const SettingsStore& productStore, int systemLanguage) {
  const std::uint32_t code = GetSettingInt("Language", "Code", kEnglish, productStore);
  if (code == kSystemLanguage) return systemLanguage;
  // Any other stored value, even one without a language block, is taken as it is: its texts
  // then show in English marked with ">", which tells the user the setting is wrong.
  return static_cast<std::int32_t>(code);
}

std::optional<std::string_view> StringResource(int resourceId) {
  const auto found = std::ranges::lower_bound(kResources, resourceId, {}, &Resource::id);
  if (found == kResources.end() || found->id != resourceId) return std::nullopt;
  return found->text;
}

std::string LocalText(int id, const Language& language) {
  const long long resourceId = static_cast<long long>(language.base()) + id;
  if (resourceId >= std::numeric_limits<int>::min() &&
      resourceId <= std::numeric_limits<int>::max()) {
    const auto translated = StringResource(static_cast<int>(resourceId));
    if (translated && *translated != kMissingTranslation) return std::string(*translated);
  }
  std::string marked(kFallbackMark);
  marked += StringResource(id).value_or(std::string_view{});
  return marked;
}

}  // namespace pilvo
