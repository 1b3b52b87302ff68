#include "wizard/tab_save_dialog.h"

#include "ui/qt_prompts.h"

namespace pilvo::wizard {

SaveTabChooser TabSaveDialog(QWidget* parent) {
  return [parent](const std::string& proposed, const std::filesystem::path& folder) {
    return ChooseFile(parent, QFileDialog::AcceptSave, kTabFileFilter, kTabExtension,
                      folder / proposed);
  };
}

}  // namespace pilvo::wizard
