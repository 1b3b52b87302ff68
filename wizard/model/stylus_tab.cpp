#include "wizard/model/stylus_tab.h"

#include <cmath>
#include <limits>
#include <system_error>

#include "data/local_text.h"
#include "session/arm_session.h"

namespace pilvo::wizard {
namespace {

constexpr int kTextSameName = 2318;
constexpr std::string_view kCannotSave = "Errore in Salva TAB";
constexpr int kSixParameterModel = 1;

// One spelling per file: links, "." and ".." resolved as far as the path exists.
std::filesystem::path Resolved(const std::filesystem::path& path) {
  std::error_code error;
  const auto resolved = std::filesystem::weakly_canonical(path, error);
  return error ? std::filesystem::absolute(path, error).lexically_normal() : resolved;
}

bool WriteChanged(TabContents& tab, double change, const std::filesystem::path& path) {
  const std::optional<std::size_t> index = StylusLengthIndex(tab.main);
  if (!index) return false;
  float& length = tab.main.parameters[*index];
  const double changed = length + change;
  // A length that the file's single precision cannot hold is no length.
  if (!(std::abs(changed) <= std::numeric_limits<float>::max())) return false;
  length = static_cast<float>(changed);
  tab.main.probeCount = 0;
  return WriteTabFile(path, tab) == TabWriteError::None;
}

}  // namespace

std::optional<std::size_t> StylusLengthIndex(const ArmRecord& record) {
  if (record.jointCount < 1 || record.jointCount > kMaxJoints) return std::nullopt;
  const auto joints = static_cast<std::size_t>(record.jointCount);
  return record.modelType == kSixParameterModel ? 6 * joints + 5 : 4 * joints;
}

std::optional<std::filesystem::path> ChooseNewTabFile(const SaveTabChooser& choose,
                                                      ArmSession& session) {
  const std::filesystem::path current = session.state().tabPath;
  auto chosen = choose("", current.parent_path());
  if (chosen && Resolved(*chosen) == Resolved(current)) {
    session.prompts().ShowMessage(LocalText(kTextSameName, session.language()), kWizardCaption,
                                  MessageIcon::Error);
    return std::nullopt;
  }
  return chosen;
}

bool WriteWithStylusChange(TabContents tab, double change, const std::filesystem::path& path,
                           Prompts& ui) {
  if (WriteChanged(tab, change, path)) return true;
  ui.ShowMessage(kCannotSave, kWizardCaption, MessageIcon::Error);
  return false;
}

}  // namespace pilvo::wizard
