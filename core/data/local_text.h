// Every user-visible text, in English, Italian, French and German, fetched by its English
// string identifier.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pilvo {

struct SettingsStore;

// Language codes as stored under "Language"/"Code": the language base is code x 1000.
inline constexpr int kEnglish = 0;
inline constexpr int kItalian = 1;
inline constexpr int kFrench = 2;
inline constexpr int kGerman = 3;

// The language block that texts are fetched from: base code x 1000.
class Language {
 public:
  explicit Language(int code = kEnglish) { Select(code); }
  void Select(int code);
  int code() const { return code_; }
  int base() const { return base_; }

 private:
  int code_ = kEnglish;
  int base_ = 0;
};

// The language of the start-up: the stored "Language"/"Code" of `productStore`, or, when that
// is -1, `systemLanguage`.
int LanguageCodeAtStart(const SettingsStore& productStore, int systemLanguage);

// The text of the language block, or ">" followed by the English text when the translation is
// missing or is "-".
std::string LocalText(int id, const Language& language);

// The raw entry of the string table at `resourceId` (English id + language base), if any.
std::optional<std::string_view> StringResource(int resourceId);

}  // namespace pilvo
