// TAB > Info: the main settings of the TAB file, one row each.
#pragma once

#include <QDialog>
#include <vector>

#include "data/local_text.h"
#include "wizard/model/tab_info.h"

namespace pilvo::wizard {

class TabInfoDialog final : public QDialog {
 public:
  TabInfoDialog(const std::vector<TabInfoRow>& rows, const Language& language, QWidget* parent);
};

}  // namespace pilvo::wizard
