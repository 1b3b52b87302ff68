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

void ShowRejection(TabError error, const ProductContext& context, Prompts& prompts) {
  const int text = error == TabError::LaterVersion ? kTextLaterVersion : kTextNotValid;
  prompts.ShowMessage(LocalText(text, context.language()), context.caption(), MessageIcon::Error);
}

}  // namespace

int ReadTabFile(std::span<const std::uint8_t> bytes, TabContents& contents,
                const ProductContext& context, Prompts& prompts) {
  const TabError error = ParseTabFile(bytes, contents);
  if (error != TabError::None) {
    ShowRejection(error, context, prompts);
    return tab_read::kRejected;
  }
  if (context.isLibrary() && contents.version < kCurrentTabVersion) {
    const Language& language = context.language();
    prompts.ShowMessage(LocalText(kTextPreviousVersion, language) + "\n\n" +
                            LocalText(kTextPreviousVersionAdvice, language),
                        context.caption(), MessageIcon::Information);
  }
  return tab_read::kAccepted;
}

int ReadTabFile(const std::filesystem::path& path, TabContents& contents,
                const ProductContext& context, Prompts& prompts) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) {
    ShowRejection(TabError::NotValid, context, prompts);
    return tab_read::kRejected;
  }
  return ReadTabFile(*bytes, contents, context, prompts);
}

}  // namespace pilvo
