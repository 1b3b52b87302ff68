#include "session/tab_reading.h"

#include <string>

#include "data/local_text.h"
#include "platform/atomic_file.h"

namespace pilvo {
namespace {

constexpr int kTextPreviousVersionAdvice = 1997;
constexpr int kTextLaterVersion = 1999;
constexpr int kTextPreviousVersion = 2000;
constexpr int kTextNotValid = 2001;

std::string_view CaptionOf(TabReaderVariant variant) {
  return variant == TabReaderVariant::Library ? kLibraryCaption : kWizardCaption;
}

void ShowRejection(TabError error, TabReaderVariant variant, Prompts& prompts) {
  const int text = error == TabError::LaterVersion ? kTextLaterVersion : kTextNotValid;
  prompts.ShowMessage(LocalText(text), CaptionOf(variant), MessageIcon::Error);
}

}  // namespace

int ReadTabFile(std::span<const std::uint8_t> bytes, TabContents& contents,
                TabReaderVariant variant, Prompts& prompts) {
  const TabError error = ParseTabFile(bytes, contents);
  if (error != TabError::None) {
    ShowRejection(error, variant, prompts);
    return tab_read::kRejected;
  }
  if (variant == TabReaderVariant::Library && contents.version < kCurrentTabVersion) {
    prompts.ShowMessage(
        LocalText(kTextPreviousVersion) + "\n\n" + LocalText(kTextPreviousVersionAdvice),
        CaptionOf(variant), MessageIcon::Information);
  }
  return tab_read::kAccepted;
}

int ReadTabFile(const std::filesystem::path& path, TabContents& contents, TabReaderVariant variant,
                Prompts& prompts) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) {
    ShowRejection(TabError::NotValid, variant, prompts);
    return tab_read::kRejected;
  }
  return ReadTabFile(*bytes, contents, variant, prompts);
}

}  // namespace pilvo
