#include "wizard/model/stylus_length.h"

#include "data/local_text.h"
#include "data/number_text.h"
#include "session/arm_session.h"

namespace pilvo::wizard {
namespace {

constexpr double kM4Length = 18.0;
constexpr double kM8Length = 45.0;

}  // namespace

double StandardLength(StandardStylus stylus) {
  return stylus == StandardStylus::M8 ? kM8Length : kM4Length;
}

StylusLength::StylusLength(ArmSession& session, SaveTabChooser choose)
    : session_(session), choose_(std::move(choose)) {
  const auto text = [&session](int id) { return LocalText(id, session.language()); };
  texts_ = {text(2240), text(2241), text(2201), text(2242), text(2243), text(2244)};
}

bool StylusLength::Accept(std::string_view typedLength) {
  const std::optional<double> length = ParseLength(typedLength);
  if (!length) {
    session_.prompts().ShowMessage(kEnterNumber, kWizardCaption, MessageIcon::Warning);
    return false;
  }
  const auto chosen = ChooseNewTabFile(choose_, session_);
  if (!chosen) return false;
  if (!WriteWithStylusChange(session_.state().tab, *length - StandardLength(stylus_), *chosen,
                             session_.prompts())) {
    return false;
  }
  newTabPath_ = *chosen;
  return true;
}

}  // namespace pilvo::wizard
