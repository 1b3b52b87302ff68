#include "wizard/tab_info_dialog.h"

#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "data/local_text.h"
#include "ui/qt_prompts.h"

namespace pilvo::wizard {

TabInfoDialog::TabInfoDialog(const std::vector<TabInfoRow>& rows, const Language& language,
                             QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(ToQString(LocalText(2206, language)));
  setAccessibleName(windowTitle());
  auto* list = new QTreeWidget(this);
  list->setAccessibleName(windowTitle());
  list->setHeaderLabels(
      {ToQString(LocalText(2207, language)), ToQString(LocalText(2208, language))});
  list->setRootIsDecorated(false);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setColumnWidth(0, 200);
  list->setMinimumWidth(460);
  for (const TabInfoRow& row : rows) {
    new QTreeWidgetItem(list, {ToQString(row.parameter), ToQString(row.value)});
  }
  auto* ok = new QPushButton(ToQString(LocalText(2200, language)), this);
  ok->setAccessibleName(ok->text());
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list);
  layout->addWidget(ok, 0, Qt::AlignRight);
}

}  // namespace pilvo::wizard
