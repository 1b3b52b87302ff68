// What is the same for everything a program does: which program it is, where its settings live,
// its installation name and the language of its texts. The program makes one and hands it to
// its sessions; tests make as many as they like.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "data/local_text.h"
#include "data/settings.h"

namespace pilvo {

// The library that measuring applications load, or the wizard. The wizard's readings compute
// the joint-limit mask for its own window but show no limits warning, never return the 512
// limit status and refresh no supply display; it never shows the previous-version warning of a
// TAB file (it offers the conversion itself); it keeps its settings in its own profile.
enum class Program { Library, Wizard };

// The captions of the two programs' message boxes.
inline constexpr std::string_view kLibraryCaption = "Pilvo DLL";
inline constexpr std::string_view kWizardCaption = "PilvoWizard";

class ProductContext {
 public:
  // `systemLanguage` is the language code that a stored "Language"/"Code" of -1 stands for.
  ProductContext(Program program, std::filesystem::path settingsFolder,
                 std::string installationName, int systemLanguage = kEnglish);

  Program program() const { return program_; }
  bool isLibrary() const { return program_ == Program::Library; }
  std::string_view caption() const { return isLibrary() ? kLibraryCaption : kWizardCaption; }
  const std::string& installationName() const { return installationName_; }
  int systemLanguage() const { return systemLanguage_; }

  // A store of the settings folder by its name.
  SettingsStore Store(std::string_view name) const;
  SettingsStore productStore() const { return Store(kProductStore); }
  SettingsStore installationStore() const { return Store(installationName_); }
  // The application profile: "DIR", "TIMEOUT", "TEMPERATURA" and the other program keys.
  SettingsStore profileStore() const {
    return Store(isLibrary() ? kLibraryProfileStore : kWizardProfileStore);
  }

  // The wizard's language menu switches it at once.
  Language& language() { return language_; }
  const Language& language() const { return language_; }
  void SelectLanguageAtStart();

 private:
  Program program_;
  std::filesystem::path settingsFolder_;
  std::string installationName_;
  int systemLanguage_;
  Language language_;
};

// The context of the running module (the shared library when the core is linked into one, else
// the program), from the only place that reads the environment: the settings folder is
// $PILVO_CONFIG_DIR, else $XDG_CONFIG_HOME/Kelmorad, else ~/.config/Kelmorad; the system
// language is the locale's. Its language is English until SelectLanguageAtStart.
ProductContext ContextFromEnvironment(Program program);

// The language of the locale: the first of LC_ALL, LC_MESSAGES and LANG that is set and not
// empty, de, fr and it giving German, French and Italian, anything else English.
int LanguageCodeFromLocale();

}  // namespace pilvo
