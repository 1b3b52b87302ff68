// The serial port choice: COM1 to COM20 with the device each stands for here, which of them can
// be opened, and Detect trying the arm on each.
#pragma once

#include <QDialog>

#include "wizard/model/port_selection.h"

class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace pilvo::wizard {

class PortDialog final : public QDialog {
 public:
  PortDialog(PortSelection& selection, PortSelection::Detector detect, const Language& language,
             QWidget* parent);

  // After OK: the port chosen, or the one in use when no line was selected.
  int chosenPort() const { return chosen_; }

 private:
  void ShowLines();
  void Detect();
  void Accept();

  PortSelection& selection_;
  PortSelection::Detector detect_;
  QTreeWidget* list_;
  QProgressBar* progress_;
  QPushButton* ok_;
  QPushButton* detectButton_;
  int chosen_;
};

}  // namespace pilvo::wizard
