// The save dialog of a new TAB file, for the models that write one.
#pragma once

#include <QWidget>

#include "wizard/model/stylus_tab.h"

namespace pilvo::wizard {

// Qt's save dialog over `parent` with the TAB file filter and extension.
SaveTabChooser TabSaveDialog(QWidget* parent);

}  // namespace pilvo::wizard
