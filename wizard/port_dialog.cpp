#include "wizard/port_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "data/local_text.h"
#include "ui/qt_prompts.h"

namespace pilvo::wizard {
namespace {

// The scan starts once the window has drawn its disabled buttons.
constexpr int kDetectDelayMs = 500;

QPushButton* Button(int textId, const Language& language, QWidget* parent) {
  auto* button = new QPushButton(ToQString(LocalText(textId, language)), parent);
  button->setAccessibleName(button->text());
  return button;
}

}  // namespace

PortDialog::PortDialog(PortSelection& selection, PortSelection::Detector detect,
                       const Language& language, QWidget* parent)
    : QDialog(parent),
      selection_(selection),
      detect_(std::move(detect)),
      list_(new QTreeWidget(this)),
      progress_(new QProgressBar(this)),
      ok_(Button(2200, language, this)),
      detectButton_(Button(2273, language, this)),
      chosen_(selection.portIndex()) {
  setWindowTitle(ToQString(selection_.title()));
  setAccessibleName(windowTitle());
  QStringList headers;
  for (const std::string& column : selection_.columns()) headers << ToQString(column);
  list_->setHeaderLabels(headers);
  list_->setRootIsDecorated(false);
  list_->setAccessibleName(QStringLiteral("Ports"));
  list_->header()->setDefaultAlignment(Qt::AlignCenter);
  list_->setMinimumWidth(560);
  progress_->setAccessibleName(QStringLiteral("Detection progress"));
  progress_->setRange(0, kListedPorts);
  progress_->setValue(0);
  auto* cancel = Button(2201, language, this);
  connect(ok_, &QPushButton::clicked, this, &PortDialog::Accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(detectButton_, &QPushButton::clicked, this, &PortDialog::Detect);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(detectButton_);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(progress_);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  ShowLines();
}

void PortDialog::ShowLines() {
  list_->clear();
  const QIcon openable(QStringLiteral(":/pictures/indicator.svg"));
  const QIcon closed(QStringLiteral(":/pictures/limit_indicator.svg"));
  for (const PortLine& line : selection_.lines()) {
    auto* item = new QTreeWidgetItem(list_, {ToQString(line.port), ToQString(line.path),
                                             ToQString(line.state), ToQString(line.device)});
    item->setIcon(0, line.openable ? openable : closed);
    for (int column = 0; column < 4; ++column) item->setTextAlignment(column, Qt::AlignCenter);
  }
  for (int column = 0; column < 4; ++column) list_->resizeColumnToContents(column);
}

void PortDialog::Detect() {
  ok_->setEnabled(false);
  detectButton_->setEnabled(false);
  QTimer::singleShot(kDetectDelayMs, this, [this] {
    list_->clear();
    selection_.Detect(detect_, [this](int port) {
      progress_->setValue(port);
      progress_->repaint();
    });
    ShowLines();
    ok_->setEnabled(true);
    detectButton_->setEnabled(true);
  });
}

void PortDialog::Accept() {
  const int row =
      list_->currentItem() != nullptr ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
  chosen_ = selection_.Accept(row >= 0 ? std::optional<int>(row) : std::nullopt);
  accept();
}

}  // namespace pilvo::wizard
