// The manual stylus length: the standard stylus the TAB file was calibrated with, in a picture,
// and the length of the new one; "New TAB" writes the new file.
#pragma once

#include <QDialog>

#include "wizard/model/stylus_length.h"

class QLabel;
class QLineEdit;

namespace pilvo::wizard {

class StylusLengthDialog final : public QDialog {
 public:
  StylusLengthDialog(StylusLength& model, QWidget* parent);

 private:
  void ChooseStylus(StandardStylus stylus);
  void Accept();

  StylusLength& model_;
  QLabel* picture_;
  QLineEdit* length_;
};

}  // namespace pilvo::wizard
