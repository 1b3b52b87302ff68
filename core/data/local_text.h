// Every user-visible text, in English, Italian, French and German, fetched by its English
// string identifier.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pilvo {

// Language codes as stored under "Language"/"Code": the language base is code x 1000.
inline constexpr int kEnglish = 0;
inline constexpr int kItalian = 1;
inline constexpr int kFrench = 2;
inline constexpr int kGerman = 3;

// Selects the language base code x 1000 for every later LocalText call of this process.
void SetLanguage(int code);
int LanguageBase();

// The language of the start-up: the stored "Language"/"Code" of the product store, or, when
// that is -1, the one of the locale (LC_ALL, LC_MESSAGES, LANG: de, fr, it, else English).
int LanguageCodeFromLocale();
void SelectLanguageAtStart();

// The text of the current language block, or ">" followed by the English text when the
// translation is missing or is "-".
std::string LocalText(int id);

// The raw entry of the string table at `resourceId` (English id + language base), if any.
std::optional<std::string_view> StringResource(int resourceId);

}  // namespace pilvo
