// Holding button 2 swaps the kinematic parameters for those of another TAB file of the same arm,
// and a short press of it reads as exactly 2 once released.
#include <algorithm>
#include <utility>

#include "data/settings.h"
#include "platform/atomic_file.h"
#include "session/arm_session.h"
#include "session/operator_ports.h"
#include "session/tab_reading.h"

namespace pilvo {
namespace {

constexpr std::string_view kFolderSection = "DIR";
constexpr std::string_view kFolderKey = "Percorso";
constexpr std::string_view kCaption = "Pilvo3D";
constexpr std::string_view kCannotOpen = "Non posso aprire il file";
constexpr std::string_view kNotValid = "Il file TAB non è corretto";
constexpr std::string_view kIncompatible = "_The TAB file isn'tcompatible";
constexpr std::string_view kIncompatibleCaption = "pilvo.dll";
constexpr int kSixParameterModel = 1;

}  // namespace

bool ArmSession::StepTabSwap(bool button2, std::int32_t& status) {
  ReadingState& reading = state_.reading;
  // Without the option a timer left running by an earlier file holds the buttons back.
  if (!state_.working.options.tabSwapByButton) return reading.swapTimer == 0;
  if (reading.swapBusy) return false;
  if (reading.swapTimer == 0) {
    if (!button2) return true;
    reading.swapTimer = clock_();
    return false;
  }
  if (clock_() - reading.swapTimer >= kTabSwapHoldMs && !SwapTabFile()) return false;
  if (reading.swapTimer == 0) return true;
  if (!button2) {
    status = reading_status::kButton2;
    reading.swapTimer = 0;
  }
  return false;
}

bool ArmSession::SwapTabFile() {
  ReadingState& reading = state_.reading;
  reading.swapBusy = true;
  const std::string folder = GetSettingString(kFolderSection, kFolderKey, "", profileStore_);
  const auto chosen = prompts_.ChooseFileToOpen(kTabFileFilter, ".tab", folder);
  const bool goOn = !chosen || TakeSwappedTab(*chosen);
  reading.swapBusy = false;
  reading.swapTimer = 0;
  return goOn;
}

// A file whose encoder offsets match the arm's gives the working record its kinematic parameters;
// everything else of the working record stays as it is. The probe table becomes the file's (its
// main record, probes and version) and the file the one it is saved to, so that a later probe
// save rewrites that file whole instead of writing its probes into the first one. A refused file
// changes nothing.
bool ArmSession::TakeSwappedTab(const std::filesystem::path& file) {
  const std::string path = file.string();
  const auto bytes = path.size() <= kMaxTabPath ? ReadWholeFile(file) : std::nullopt;
  if (!bytes) {
    prompts_.ShowMessage(kCannotOpen, kCaption, MessageIcon::Error);
    return false;
  }
  TabContents contents;
  if (ReadTabFile(*bytes, contents, context_, prompts_) < 0) {
    prompts_.ShowMessage(kNotValid, kCaption, MessageIcon::Error);
    return false;
  }
  const ArmRecord& incoming = contents.main;
  ArmRecord& working = state_.working;
  // The n + 1 transforms of an n-joint arm; their offsets as far as there are offsets.
  const int transforms = std::clamp(incoming.jointCount, 0, kMaxJoints) + 1;
  const int offsets = std::min(transforms, kMaxJoints);
  if (!std::equal(incoming.encoderOffsets.begin(), incoming.encoderOffsets.begin() + offsets,
                  working.encoderOffsets.begin())) {
    prompts_.ShowMessage(kIncompatible, kIncompatibleCaption, MessageIcon::None);
    return false;
  }
  const int groupSize = incoming.modelType == kSixParameterModel ? 6 : 4;
  std::copy_n(incoming.parameters.begin(), transforms * groupSize, working.parameters.begin());
  state_.tab = std::move(contents);
  state_.tabPath = path;
  WriteSettingString(kFolderSection, kFolderKey, path, profileStore_);
  return true;
}

}  // namespace pilvo
