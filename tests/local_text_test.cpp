#include "data/local_text.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/product_context.h"
#include "data/settings.h"
#include "dialogs/scripted_operator.h"
#include "platform/atomic_file.h"
#include "scoped_config_dir.h"
#include "session/arm_session.h"

namespace pilvo {
namespace {

struct TableEntry {
  int id;
  std::string_view english;
};

// The ids and English texts as written in the table, to check what the loader serves.
constexpr TableEntry kTable[] = {
#define PILVO_TEXT(id, english, ...) {id, english},
#include "texts.inc"
#undef PILVO_TEXT
};

constexpr int kLanguages[] = {kEnglish, kItalian, kFrench, kGerman};

std::string_view Raw(int resourceId) {
  return StringResource(resourceId).value_or(std::string_view{});
}

// The printf conversions of a text, each with its flags, width, precision and length.
std::vector<std::string> Conversions(std::string_view text) {
  std::vector<std::string> conversions;
  for (std::size_t i = text.find('%'); i != std::string_view::npos; i = text.find('%', i)) {
    if (text.substr(i + 1, 1) == "%") {
      i += 2;
      continue;
    }
    const std::size_t stop =
        std::min(text.find_first_of("diouxXeEfFgGaAcspn", i + 1), text.size() - 1) + 1;
    conversions.emplace_back(text.substr(i, stop - i));
    i = stop;
  }
  return conversions;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// What a text must keep in every language: its conversions, its lines, and its outer blanks
// (texts are joined to others with formats such as "%s %s").
auto Shape(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\n'; };
  return std::tuple(Conversions(text), std::ranges::count(text, '\n'), blank(text.front()),
                    blank(text.back()));
}

TEST(LocalTextTest, EveryTextIsServedInEveryLanguageWithItsFormatAndLayout) {
  for (const TableEntry& entry : kTable) {
    EXPECT_EQ(Raw(entry.id), entry.english) << entry.id;
    for (int language : kLanguages) {
      SCOPED_TRACE(std::to_string(entry.id) + " in language " + std::to_string(language));
      const std::string_view text = Raw(entry.id + language * 1000);
      ASSERT_FALSE(text.empty());
      EXPECT_TRUE(IsValidUtf8(text));
      // A "-" translation stands for a missing one.
      EXPECT_EQ(LocalText(entry.id, Language(language)),
                text == "-" ? ">" + std::string(entry.english) : std::string(text));
      EXPECT_EQ(Shape(text), Shape(entry.english));
    }
  }
}

TEST(LocalTextTest, TextsReadByOtherMeansKeepTheirShape) {
  constexpr std::string_view kLanguageNames[] = {"English", "Italiano", "Français", "Deutsch"};
  for (int language : kLanguages) {
    const int base = language * 1000;
    // The language menu lists the name found at 2003 of each block.
    EXPECT_EQ(Raw(2003 + base), kLanguageNames[language]);
    // The library's about box takes its file name from the first nine characters of 2010.
    EXPECT_TRUE(Raw(2010 + base).starts_with("Pilvo.dll")) << language;
    // The tray tooltip holds at most 63 characters and a terminator.
    EXPECT_LT(Raw(102 + base).size(), 64u) << language;
    // Codes and names are the same in every language.
    EXPECT_EQ(Raw(130 + base), "040904b0");
    EXPECT_EQ(Raw(57344 + base), "PilvoWizard");
  }
}

// Without a translation, even for a language code with no block at all or one whose block would
// overflow, a text comes out as the English one marked with ">"; without either, the mark alone.
TEST(LocalTextTest, MissingTranslationFallsBackToMarkedEnglish) {
  const Language unknown(7);
  EXPECT_EQ(unknown.base(), 7000);
  for (const TableEntry& entry : kTable) {
    EXPECT_EQ(LocalText(entry.id, unknown), ">" + std::string(entry.english)) << entry.id;
  }
  EXPECT_EQ(LocalText(2500, unknown), ">");
  EXPECT_EQ(LocalText(2500, Language(kEnglish)), ">");
  EXPECT_EQ(StringResource(2500), std::nullopt);
  for (int code : {INT_MAX, INT_MIN, -1}) {
    EXPECT_EQ(LocalText(2001, Language(code)), ">TAB file is not valid.") << code;
    EXPECT_EQ(LocalText(INT_MAX, Language(code)), ">") << code;
  }
}

TEST(LocalTextTest, FirstNonEmptyLocaleVariableChoosesTheLanguage) {
  using Value = std::optional<std::string>;
  const struct {
    Value all, messages, lang;
    int expected;
  } cases[] = {
      {std::nullopt, std::nullopt, std::nullopt, kEnglish},
      {std::nullopt, std::nullopt, "de_DE.UTF-8", kGerman},
      {std::nullopt, std::nullopt, "fr_FR.UTF-8", kFrench},
      {std::nullopt, std::nullopt, "C", kEnglish},
      {"de_AT.UTF-8", "it_IT", "fr_FR", kGerman},
      {"POSIX", std::nullopt, "de_DE", kEnglish},
      {"", "it_CH.UTF-8", "fr_FR", kItalian},
      {std::nullopt, "fr_BE", "it_IT", kFrench},
  };
  for (const auto& c : cases) {
    for (const auto& [name, value] :
         {std::pair{"LC_ALL", c.all}, {"LC_MESSAGES", c.messages}, {"LANG", c.lang}}) {
      value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    EXPECT_EQ(LanguageCodeFromLocale(), c.expected)
        << c.all.value_or("-") << " / " << c.messages.value_or("-") << " / "
        << c.lang.value_or("-");
  }
}

// Without a stored code the start language is English; a stored -1 takes the system's; any other
// stored code wins over the system's.
TEST(StartLanguageTest, StartLanguageIsTheStoredCodeOrTheSystems) {
  testing::ScopedConfigDir config("local_text_test");
  const struct {
    std::optional<int> stored;
    int system, base, text;
    const char* expected;
  } cases[] = {{std::nullopt, kGerman, 0, 2003, "English"},
               {-1, kFrench, 2000, 2003, "Français"},
               {kItalian, kGerman, 1000, 2201, "Annulla"}};
  for (const auto& c : cases) {
    if (c.stored) {
      ASSERT_TRUE(WriteSettingInt("Language", "Code", *c.stored, config.Store(kProductStore)));
    }
    ProductContext context(Program::Library, config.path(), testing::kTestInstallation, c.system);
    context.SelectLanguageAtStart();
    EXPECT_EQ(context.language().base(), c.base) << c.expected;
    EXPECT_EQ(LocalText(c.text, context.language()), c.expected);
  }
}

// Two programs in one process: each session keeps to the settings folder and the language of
// its own context.
TEST(StartLanguageTest, SessionsOfTwoContextsKeepTheirOwnSettingsAndLanguage) {
  testing::ScopedConfigDir library("local_text_library");
  testing::ScopedConfigDir wizard("local_text_wizard");
  ProductContext wizardContext(Program::Wizard, wizard.path(), testing::kTestInstallation);
  ASSERT_TRUE(WriteSettingInt("Language", "Code", kEnglish, library.Store(kProductStore)));
  ASSERT_TRUE(WriteSettingInt("Language", "Code", kGerman, wizard.Store(kProductStore)));
  library.context().SelectLanguageAtStart();
  wizardContext.SelectLanguageAtStart();
  const std::filesystem::path garbage = library.path() / "garbage.tab";
  ASSERT_FALSE(WriteFileAtomically(garbage, std::string_view("abc")));

  ScriptedOperator ui;
  ArmSession first(library.context(), ui.ports());
  ArmSession second(wizardContext, ui.ports());
  EXPECT_EQ(first.LeggeParametri(garbage), -2);
  EXPECT_EQ(second.LeggeParametri(garbage), -2);
  std::vector<std::string> messages;
  for (const ScriptedOperator::Request& r : ui.requests()) {
    if (r.kind == ScriptedOperator::Request::Kind::Message)
      messages.push_back(r.text + "|" + r.caption);
  }
  EXPECT_EQ(messages, (std::vector<std::string>{"TAB file is not valid.|Pilvo DLL",
                                                "TAB-Datei ist ungültig.|PilvoWizard"}));
}

}  // namespace
}  // namespace pilvo
