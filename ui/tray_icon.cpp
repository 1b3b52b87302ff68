#include "ui/tray_icon.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/battery_window.h"
#include "ui/qt_prompts.h"

namespace pilvo {
namespace {

// The frame the library's windows belong to: never shown, and a close request from the system
// only hides it while the library is loaded.
class HiddenFrame final : public QWidget {
 public:
  explicit HiddenFrame(const TrayShell& model) : model_(model) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (model_.CloseRequested()) {
      event->accept();
      return;
    }
    hide();
    event->ignore();
  }

 private:
  const TrayShell& model_;
};

QIcon TrayPicture(bool connected) {
  return QIcon(connected ? ":/pictures/tray_connected.svg" : ":/pictures/tray_not_connected.svg");
}

}  // namespace

TrayIcon::TrayIcon(Prompts& prompts, const Language& language)
    : model_(language),
      prompts_(prompts),
      frame_(std::make_unique<HiddenFrame>(model_)),
      batteryWindow_(new BatteryWindow(model_.battery(), frame_.get())) {
  frame_->setWindowTitle("Pilvo3D");
  probesAction_ = menu_.addAction("");
  batteryAction_ = menu_.addAction("");
  batteryAction_->setCheckable(true);
  menu_.addSeparator();
  aboutAction_ = menu_.addAction("");
  connect(probesAction_, &QAction::triggered, this, &TrayIcon::ProbesManagement);
  connect(batteryAction_, &QAction::triggered, this, &TrayIcon::Battery);
  connect(aboutAction_, &QAction::triggered, this, &TrayIcon::ShowAbout);
  // Relabelled in the language of the moment whenever it opens.
  connect(&menu_, &QMenu::aboutToShow, this, &TrayIcon::RefreshMenu);
  menu_.setDefaultAction(probesAction_);
  // A child of the frame, so that a client finds the icon among its application's windows; it
  // goes before the frame, which it leaves as it goes.
  icon_.setParent(frame_.get());
  icon_.setContextMenu(&menu_);
  connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick) ProbesManagement();
  });
  connect(&timer_, &QTimer::timeout, this, &TrayIcon::Tick);
  timer_.start(kTrayTickMs);
  RefreshIcon();
}

TrayIcon::~TrayIcon() {
  model_.AllowClose();
  frame_->close();
  icon_.hide();
}

void TrayIcon::ShowConnected(std::string_view probeTooltip) {
  model_.ShowConnected(probeTooltip);
  RefreshIcon();
}

void TrayIcon::ShowDisconnected() {
  model_.ShowDisconnected();
  RefreshIcon();
}

void TrayIcon::ResetBattery() {
  model_.battery().Reset();
  batteryWindow_->Refresh();
}

void TrayIcon::UpdateBattery(const SupplyReading& supply, const ArmRecord& record) {
  if (model_.battery().Update(supply, record)) batteryWindow_->Refresh();
}

void TrayIcon::ShowAbout() {
  const AboutBoxTexts texts = model_.about();
  QDialog box(frame_.get());
  box.setWindowTitle(ToQString(texts.title));
  auto* layout = new QVBoxLayout(&box);
  auto* picture = new QLabel(&box);
  picture->setPixmap(TrayPicture(true).pixmap(48, 48));
  picture->setAccessibleName("Icon");
  layout->addWidget(picture);
  for (const auto& [text, name] :
       {std::pair{&texts.libraryName, "Library"}, std::pair{&texts.fileVersion, "File version"},
        std::pair{&texts.makerLines, "Maker"}}) {
    auto* label = new QLabel(ToQString(*text), &box);
    label->setAccessibleName(name);
    layout->addWidget(label);
  }
  auto* installation = new QLineEdit(ToQString(texts.installationName), &box);
  installation->setReadOnly(true);
  installation->setAccessibleName("Installation");
  installation->setCursorPosition(0);
  installation->setMinimumWidth(320);
  layout->addWidget(installation);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setText(ToQString(texts.ok));
  NamedAsShown(ok);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  layout->addWidget(buttons);
  box.exec();
}

void TrayIcon::Tick() {
  if (model_.Tick()) prompts_.Beep();
  batteryWindow_->Refresh();
}

void TrayIcon::ProbesManagement() {
  if (model_.ProbesManagement(prompts_) && onProbesManagement) onProbesManagement();
}

void TrayIcon::Battery() {
  model_.Battery(prompts_);
  batteryWindow_->Refresh();
  RefreshMenu();
}

void TrayIcon::RefreshIcon() {
  icon_.setIcon(TrayPicture(model_.connected()));
  icon_.setToolTip(ToQString(model_.tooltip()));
  RefreshMenu();
  icon_.setVisible(QSystemTrayIcon::isSystemTrayAvailable());
}

void TrayIcon::RefreshMenu() {
  const TrayMenu menu = model_.menu();
  probesAction_->setText(ToQString(menu.probesManagement));
  probesAction_->setEnabled(menu.probesManagementEnabled);
  batteryAction_->setText(ToQString(menu.battery));
  batteryAction_->setChecked(menu.batteryChecked);
  aboutAction_->setText(ToQString(menu.about));
}

}  // namespace pilvo
