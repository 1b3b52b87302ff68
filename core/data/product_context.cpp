#include "data/product_context.h"

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <utility>

#include "platform/module_path.h"

namespace pilvo {
namespace fs = std::filesystem;
namespace {

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

fs::path HomeFolder() {
  if (const char* home = NonEmptyEnv("HOME")) return home;
  passwd entry{};
  passwd* found = nullptr;
  std::array<char, 4096> buffer{};
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return {};
}

fs::path SettingsFolderFromEnvironment() {
  if (const char* folder = NonEmptyEnv("PILVO_CONFIG_DIR")) return folder;
  if (const char* config = NonEmptyEnv("XDG_CONFIG_HOME");
      config && fs::path(config).is_absolute()) {
    return fs::path(config) / "Kelmorad";
  }
  const fs::path home = HomeFolder();
  if (home.empty()) return {};
  return home / ".config" / "Kelmorad";
}

}  // namespace

ProductContext::ProductContext(Program program, fs::path settingsFolder,
                               std::string installationName, int systemLanguage)
    : program_(program),
      settingsFolder_(std::move(settingsFolder)),
      installationName_(std::move(installationName)),
      systemLanguage_(systemLanguage) {}

SettingsStore ProductContext::Store(std::string_view name) const {
  return {settingsFolder_, std::string(name)};
}

void ProductContext::SelectLanguageAtStart() {
  language_.Select(LanguageCodeAtStart(productStore(), systemLanguage_));
}

ProductContext ContextFromEnvironment(Program program) {
  // Any object of this file lies in the module being asked about.
  static const char anchor = 0;
  return ProductContext(program, SettingsFolderFromEnvironment(),
                        InstallationNameFor(ModulePathOf(&anchor).string()),
                        LanguageCodeFromLocale());
}

int LanguageCodeFromLocale() {
  const char* locale = NonEmptyEnv("LC_ALL");
  if (locale == nullptr) locale = NonEmptyEnv("LC_MESSAGES");
  if (locale == nullptr) locale = NonEmptyEnv("LANG");
  if (locale == nullptr) return kEnglish;
  const std::string_view name(locale);
  if (name.starts_with("de")) return kGerman;
  if (name.starts_with("fr")) return kFrench;
  if (name.starts_with("it")) return kItalian;
  return kEnglish;
}

}  // namespace pilvo
