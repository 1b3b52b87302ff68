// The prompts as Qt message boxes and dialogs, modal over whatever window is active.
#pragma once

#include <QFileDialog>
#include <QString>

#include "session/operator_ports.h"

namespace pilvo {

class QtPrompts : public Prompts {
 public:
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  bool AskYesNo(std::string_view text, std::string_view caption) override;
  std::optional<std::size_t> ChooseFromList(std::string_view title,
                                            const std::vector<std::string>& lines) override;
  std::optional<std::filesystem::path> ChooseFileToOpen(
      std::string_view filter, std::string_view defaultExtension,
      const std::filesystem::path& folder) override;
  void Beep() override;
};

// Qt's file dialog for a file to open (an existing one) or to save as, starting at `start` (a
// folder, or a file proposed in it); nothing on Cancel.
std::optional<std::filesystem::path> ChooseFile(QWidget* parent, QFileDialog::AcceptMode mode,
                                                std::string_view filter,
                                                std::string_view defaultExtension,
                                                const std::filesystem::path& start);

// A file-type filter as the core words it ("Tab Files (*.tab) | *.tab||": description and
// pattern pairs) in Qt's form ("Tab Files (*.tab)", pairs joined by ";;").
QString QtFileFilter(std::string_view filter);

// The core's texts are UTF-8.
inline QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A control with a visible label is named by that label, without its mnemonic mark.
template <class Control>
Control* NamedAsShown(Control* control) {
  control->setAccessibleName(control->text().remove(QLatin1Char('&')));
  return control;
}

}  // namespace pilvo
