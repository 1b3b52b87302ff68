// The manual stylus length: the operator names the standard stylus the TAB file was calibrated
// with and types the length of the new one; a new TAB file is written beside the one in use,
// which stays as it is on disk and in memory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "wizard/model/stylus_tab.h"

namespace pilvo::wizard {

enum class StandardStylus { M4 = 0, M8 = 1 };

// mm: the length a TAB file's stylus length stands for with each standard stylus.
double StandardLength(StandardStylus stylus);

struct StylusLengthTexts {
  std::string title;
  std::string newTab;  // the OK button
  std::string cancel;
  std::string m4;
  std::string m8;
  std::string length;
};

class StylusLength {
 public:
  // `session` has a TAB file loaded and outlives the dialog.
  StylusLength(ArmSession& session, SaveTabChooser choose);

  const StylusLengthTexts& texts() const { return texts_; }
  StandardStylus stylus() const { return stylus_; }
  // The length field as the dialog opens.
  std::string initialLength() const { return "0"; }
  void ChooseStylus(StandardStylus stylus) { stylus_ = stylus; }

  // OK with the length as typed (mm). True when the new file is written: the dialog closes.
  // False keeps it open: Cancel in the save dialog, a length that is no number or negative
  // ("Please enter a number."), the file in use chosen (2318), or a file that cannot be
  // written ("Errore in Salva TAB").
  bool Accept(std::string_view typedLength);
  // After Accept: the file written.
  const std::filesystem::path& newTabPath() const { return newTabPath_; }

 private:
  ArmSession& session_;
  SaveTabChooser choose_;
  StylusLengthTexts texts_;
  StandardStylus stylus_ = StandardStylus::M4;
  std::filesystem::path newTabPath_;
};

}  // namespace pilvo::wizard
