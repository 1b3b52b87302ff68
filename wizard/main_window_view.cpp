#include "wizard/main_window_view.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <ctime>

#include "data/local_text.h"
#include "data/settings.h"
#include "dialogs/tray_shell.h"
#include "session/reference_frame.h"
#include "ui/qt_prompts.h"
#include "wizard/model/port_detection.h"
#include "wizard/points_acquisition_dialog.h"
#include "wizard/port_dialog.h"
#include "wizard/report_actions.h"
#include "wizard/stylus_calibration_wizard.h"
#include "wizard/stylus_length_dialog.h"
#include "wizard/tab_info_dialog.h"
#include "wizard/tab_save_dialog.h"

namespace pilvo::wizard {
namespace {

constexpr int kTickMs = 100;
constexpr int kLanguageCount = 4;
constexpr std::array<std::uint32_t, 4> kButtonBits{
    reading_status::kButton1, reading_status::kButton2, reading_status::kButton3,
    reading_status::kAuxiliaryPress};

// A label whose accessible name says what it shows.
QLabel* Field(const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setAccessibleName(name);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

QLabel* Readout(const QString& name, int pointSize, const char* colour, QWidget* parent) {
  QLabel* label = Field(name, parent);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pointSize);
  font.setBold(true);
  label->setFont(font);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setStyleSheet(
      QStringLiteral("color: %1; background: black; padding: 2px 6px;").arg(QLatin1String(colour)));
  return label;
}

QLabel* Picture(const QString& name, const char* picture, QWidget* parent) {
  QLabel* label = Field(name, parent);
  label->setPixmap(QIcon(QString::fromLatin1(picture)).pixmap(20, 20));
  return label;
}

void SetWhite(QLabel* label, bool white) {
  label->setStyleSheet(white ? QStringLiteral("background: white;") : QString());
}

}  // namespace

MainWindowView::MainWindowView(ArmSession& session, Language& language)
    : session_(session), model_(session, language, TabSaveDialog(this), DefaultBatteryLogPath()) {
  setWindowTitle(QStringLiteral("Pilvo3D Wizard"));
  setAccessibleName(windowTitle());
  setWindowIcon(QIcon(QStringLiteral(":/pictures/tray_connected.svg")));
  BuildMenus();
  setCentralWidget(BuildControls());
  tray_.setIcon(QIcon(QStringLiteral(":/pictures/tray_connected.svg")));
  connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick) ProbesManagement();
  });
  connect(&timer_, &QTimer::timeout, this, &MainWindowView::Tick);
  model_.Start();
  Relabel();
}

void MainWindowView::UseDemoArm() {
  demo_ = std::make_unique<DemoArm>(session_);
  model_.PrepareArmWith([this](const std::filesystem::path& tab) { demo_->Attach(tab); });
  connect(&demoTimer_, &QTimer::timeout, this, [this] { demo_->Step(); });
  demoTimer_.start(static_cast<int>(sim::kDemoTick.count()));
  setWindowTitle(QStringLiteral("Pilvo3D Wizard (demo arm)"));
  setAccessibleName(windowTitle());
}

QAction* MainWindowView::action(const QString& text) const {
  for (QAction* candidate : findChildren<QAction*>()) {
    if (candidate->text() == text) return candidate;
  }
  return nullptr;
}

QString MainWindowView::Text(int id) const {
  return ToQString(LocalText(id, session_.language()));
}

void MainWindowView::BuildMenus() {
  tabMenu_ = menuBar()->addMenu(QStringLiteral("TAB"));
  changeTab_ = tabMenu_->addAction(QString(), this, &MainWindowView::ChangeTab);
  tabInfo_ = tabMenu_->addAction(QString(), this, &MainWindowView::ShowTabInfo);
  connectionMenu_ = menuBar()->addMenu(QString());
  selectPort_ = connectionMenu_->addAction(QString(), this, &MainWindowView::SelectPort);
  toolsMenu_ = menuBar()->addMenu(QString());
  reference_ = toolsMenu_->addAction(QString(), this, [this] { Reference(1); });
  cancelReference_ = toolsMenu_->addAction(QString(), this, [this] { Reference(0); });
  probesManagement_ = toolsMenu_->addAction(QString(), this, &MainWindowView::ProbesManagement);
  pointCalibration_ =
      toolsMenu_->addAction(QString(), this, [this] { Calibration(AcquisitionKind::Point); });
  ballBarCalibration_ =
      toolsMenu_->addAction(QString(), this, [this] { Calibration(AcquisitionKind::BallBar); });
  stylusLength_ = toolsMenu_->addAction(QString(), this, &MainWindowView::ManualStylusLength);
  stylusCalibration_ = toolsMenu_->addAction(QString(), this, &MainWindowView::StylusProcedure);
  helpMenu_ = menuBar()->addMenu(QStringLiteral("?"));
  helpTopics_ = helpMenu_->addAction(QString(), this, [this] {
    QMessageBox::information(this, Text(2112),
                             QStringLiteral("Pilvo3D Wizard: see the README of the installation."));
  });
  helpMenu_->addSeparator();
  about_ = helpMenu_->addAction(QString(), this, &MainWindowView::About);
  helpMenu_->addSeparator();
  for (int code = 0; code < kLanguageCount; ++code) {
    languages_[code] =
        helpMenu_->addAction(QString(), this, [this, code] { ChooseLanguage(code); });
    languages_[code]->setCheckable(true);
  }
}

QWidget* MainWindowView::BuildControls() {
  auto* central = new QWidget(this);
  auto* readings = new QGroupBox(central);
  auto* grid = new QGridLayout(readings);
  for (int axis = 0; axis < 3; ++axis) {
    const QString name = QString(QChar(u"XYZ"[axis]));
    grid->addWidget(new QLabel(name, readings), axis, 0);
    position_[axis] = Readout(name, 25, "yellow", readings);
    position_[axis]->setMinimumWidth(180);
    grid->addWidget(position_[axis], axis, 1, 1, 2);
  }
  for (int joint = 0; joint < kMaxJoints; ++joint) {
    const QString name = QStringLiteral("Encoder %1").arg(joint + 1);
    countLabels_[joint] = new QLabel(readings);
    counts_[joint] = Readout(name, 20, "lime", readings);
    limits_[joint] = Picture(QStringLiteral("Joint %1 limit").arg(joint + 1),
                             ":/pictures/limit_indicator.svg", readings);
    grid->addWidget(countLabels_[joint], 3 + joint, 0);
    grid->addWidget(counts_[joint], 3 + joint, 1);
    grid->addWidget(limits_[joint], 3 + joint, 2);
  }
  auto* buttonRow = new QHBoxLayout;
  for (int button = 0; button < 4; ++button) {
    buttons_[button] =
        Picture(QStringLiteral("Button %1").arg(button + 1), ":/pictures/indicator.svg", readings);
    buttonRow->addWidget(buttons_[button]);
  }
  grid->addLayout(buttonRow, 3 + kMaxJoints, 0, 1, 3);

  auto* side = new QVBoxLayout;
  connect_ = new QPushButton(central);
  close_ = new QPushButton(central);
  connect(connect_, &QPushButton::clicked, this, &MainWindowView::Connect);
  connect(close_, &QPushButton::clicked, this, &MainWindowView::Disconnect);
  resetGroup_ = new QGroupBox(central);
  rest_ = new QRadioButton(resetGroup_);
  mark_ = new QRadioButton(resetGroup_);
  connect(mark_, &QRadioButton::toggled, this, [this](bool on) { model_.ChooseReset(on); });
  auto* resetLayout = new QVBoxLayout(resetGroup_);
  resetLayout->addWidget(rest_);
  resetLayout->addWidget(mark_);
  auto* connection = new QHBoxLayout;
  connection->addWidget(connect_);
  connection->addWidget(close_);
  side->addLayout(connection);
  side->addWidget(resetGroup_);

  auto* facts = new QGridLayout;
  codeVersion_ = Field(QStringLiteral("Code version"), central);
  tabPath_ = Field(QStringLiteral("TAB file"), central);
  SetWhite(tabPath_, true);
  tabVersion_ = Field(QStringLiteral("TAB version"), central);
  probeInUse_ = Field(QStringLiteral("Probe in use"), central);
  communicationLabel_ = new QLabel(central);
  communicationTime_ = Field(QStringLiteral("Communication time"), central);
  port_ = Field(QStringLiteral("Port"), central);
  probeDiameterLabel_ = new QLabel(central);
  probeDiameter_ = Field(QStringLiteral("Probe diameter"), central);
  facts->addWidget(codeVersion_, 0, 0, 1, 3);
  facts->addWidget(tabPath_, 1, 0, 1, 3);
  facts->addWidget(tabVersion_, 2, 0);
  facts->addWidget(probeInUse_, 2, 1, 1, 2);
  facts->addWidget(communicationLabel_, 3, 0);
  facts->addWidget(communicationTime_, 3, 1);
  facts->addWidget(port_, 3, 2);
  facts->addWidget(probeDiameterLabel_, 4, 0);
  facts->addWidget(probeDiameter_, 4, 1);
  side->addLayout(facts);

  armInfo_ = new QGroupBox(central);
  auto* info = new QGridLayout(armInfo_);
  for (int i = 0; i < 10; ++i) armInfoLabels_.push_back(new QLabel(armInfo_));
  serialNumber_ = Field(QStringLiteral("Serial number"), armInfo_);
  firmware_ = Field(QStringLiteral("Firmware"), armInfo_);
  info->addWidget(armInfoLabels_[0], 0, 0);
  info->addWidget(serialNumber_, 0, 1, 1, 3);
  info->addWidget(armInfoLabels_[1], 1, 0);
  info->addWidget(firmware_, 1, 1, 1, 3);
  // Columns: the base and the two segments; rows: presence, voltage, temperature.
  for (int board = 0; board < kBoards; ++board) {
    info->addWidget(armInfoLabels_[2 + board], 2, 1 + board);
    presence_[board] = Field(QStringLiteral("Board %1 presence").arg(board + 1), armInfo_);
    voltages_[board] = Field(QStringLiteral("Board %1 voltage").arg(board + 1), armInfo_);
    temperatures_[board] = Field(QStringLiteral("Board %1 temperature").arg(board + 1), armInfo_);
    info->addWidget(presence_[board], 3, 1 + board);
    info->addWidget(voltages_[board], 4, 1 + board);
    info->addWidget(temperatures_[board], 5, 1 + board);
  }
  for (int row = 0; row < 3; ++row) info->addWidget(armInfoLabels_[5 + row], 3 + row, 0);
  powerSupply_ = Field(QStringLiteral("Power supply"), armInfo_);
  info->addWidget(armInfoLabels_[8], 6, 0);
  info->addWidget(powerSupply_, 6, 1, 1, 3);
  battery_ = new QProgressBar(armInfo_);
  battery_->setAccessibleName(QStringLiteral("Battery"));
  battery_->setTextVisible(false);
  batteryMinimum_ = new QLabel(QStringLiteral("Min"), armInfo_);
  batteryMaximum_ = new QLabel(QStringLiteral("Max"), armInfo_);
  info->addWidget(armInfoLabels_[9], 7, 0);
  info->addWidget(batteryMinimum_, 7, 1);
  info->addWidget(battery_, 7, 2);
  info->addWidget(batteryMaximum_, 7, 3);
  side->addWidget(armInfo_);
  side->addStretch();

  status_ = Field(QStringLiteral("Status"), this);
  statusBar()->addWidget(status_, 1);
  auto* layout = new QHBoxLayout(central);
  layout->addWidget(readings);
  layout->addLayout(side);
  return central;
}

void MainWindowView::Relabel() {
  changeTab_->setText(Text(2104));
  tabInfo_->setText(Text(2105));
  connectionMenu_->setTitle(Text(2218));
  toolsMenu_->setTitle(QStringLiteral("Tools"));
  reference_->setText(Text(2110));
  cancelReference_->setText(Text(2111));
  probesManagement_->setText(Text(2118));
  pointCalibration_->setText(Text(2116));
  ballBarCalibration_->setText(Text(2117));
  stylusLength_->setText(Text(2240));
  stylusCalibration_->setText(Text(2319));
  helpTopics_->setText(Text(2112));
  about_->setText(Text(2113));
  for (int code = 0; code < kLanguageCount; ++code) {
    const auto name = StringResource(2003 + code * 1000);
    languages_[code]->setText(ToQString(name.value_or("?")));
    languages_[code]->setChecked(session_.language().code() == code);
  }
  for (int joint = 0; joint < kMaxJoints; ++joint) {
    countLabels_[joint]->setText(QString::number(joint + 1));
  }
  connect_->setText(Text(2154));
  close_->setText(Text(2155));
  resetGroup_->setTitle(Text(2150));
  rest_->setText(Text(2151));
  mark_->setText(Text(2152));
  probeDiameterLabel_->setText(Text(2404));
  armInfo_->setTitle(Text(2340));
  const std::array<int, 10> infoTexts{2341, 2342, 2343, 2344, 2345, 2346, 2347, 2348, 2349, 2352};
  for (std::size_t i = 0; i < infoTexts.size(); ++i) {
    armInfoLabels_[i]->setText(Text(infoTexts[i]));
  }
  for (QPushButton* button : {connect_, close_}) button->setAccessibleName(button->text());
  for (QRadioButton* button : {rest_, mark_}) button->setAccessibleName(button->text());
  Refresh();
}

void MainWindowView::Refresh() {
  const MainDisplay& shown = model_.display();
  for (int axis = 0; axis < 3; ++axis) position_[axis]->setText(ToQString(shown.position[axis]));
  for (int field = 0; field < kMaxJoints; ++field) {
    const bool used = field < static_cast<int>(shown.counts.size());
    counts_[field]->setVisible(used);
    countLabels_[field]->setVisible(used);
    if (used) counts_[field]->setText(ToQString(shown.counts[field]));
    limits_[field]->setVisible(used && (shown.limitIcons >> field & 1U) != 0);
  }
  for (int button = 0; button < 4; ++button) {
    buttons_[button]->setVisible((shown.buttonIcons & kButtonBits[button]) != 0);
  }
  connect_->setEnabled(!shown.connected);
  close_->setEnabled(shown.connected);
  rest_->setEnabled(!shown.connected);
  mark_->setEnabled(!shown.connected);
  (shown.markReset ? mark_ : rest_)->setChecked(true);
  status_->setText(ToQString(shown.status));
  codeVersion_->setText(ToQString(shown.codeVersion));
  tabPath_->setText(ToQString(shown.tabPath));
  tabVersion_->setText(ToQString(shown.tabVersion));
  probeInUse_->setText(ToQString(shown.probeInUse));
  communicationLabel_->setText(ToQString(shown.communicationLabel));
  communicationTime_->setText(ToQString(shown.communicationTime));
  port_->setText(ToQString(shown.port));
  probeDiameter_->setText(ToQString(shown.probeDiameter));
  serialNumber_->setText(ToQString(shown.serialNumber));
  firmware_->setText(ToQString(shown.firmware));
  for (int board = 0; board < kBoards; ++board) {
    presence_[board]->setText(ToQString(shown.presence[board]));
    SetWhite(presence_[board], shown.connected && shown.presenceHighlighted[board]);
    voltages_[board]->setText(ToQString(shown.voltages[board]));
    temperatures_[board]->setText(ToQString(shown.temperatures[board]));
  }
  powerSupply_->setText(ToQString(shown.powerSupply));
  for (QWidget* part : {static_cast<QWidget*>(battery_), static_cast<QWidget*>(batteryMinimum_),
                        static_cast<QWidget*>(batteryMaximum_)}) {
    part->setVisible(shown.batteryBarShown);
  }
  battery_->setRange(shown.batteryMinimum, std::max(shown.batteryMinimum, shown.batteryMaximum));
  battery_->setValue(std::clamp(shown.batteryPosition, battery_->minimum(), battery_->maximum()));
  selectPort_->setText(ToQString(shown.menu.connectionItem));
  for (QAction* item : {changeTab_, selectPort_}) item->setEnabled(shown.menu.tabChange);
  for (QAction* item : languages_) item->setEnabled(shown.menu.tabChange);
  for (QAction* item :
       {reference_, cancelReference_, probesManagement_, pointCalibration_, ballBarCalibration_}) {
    item->setEnabled(shown.menu.procedures);
  }
  stylusLength_->setEnabled(shown.menu.stylusLength);
  stylusCalibration_->setEnabled(shown.menu.procedures);
  tray_.setToolTip(ToQString(shown.trayTip));
  tray_.setVisible(shown.trayIcon && QSystemTrayIcon::isSystemTrayAvailable());
}

void MainWindowView::Connect() {
  if (model_.Connect(std::time(nullptr))) timer_.start(kTickMs);
  Refresh();
}

void MainWindowView::Disconnect() {
  timer_.stop();
  probes_.Close();
  model_.Disconnect();
  Refresh();
}

void MainWindowView::Tick() {
  if (!model_.Tick(std::time(nullptr))) {
    timer_.stop();
    probes_.Close();
  }
  Refresh();
}

void MainWindowView::ChangeTab() {
  model_.ChangeTab();
  Refresh();
}

void MainWindowView::ShowTabInfo() {
  if (const auto rows = model_.TabInfo()) TabInfoDialog(*rows, session_.language(), this).exec();
  Refresh();
}

void MainWindowView::SelectPort() {
  if (model_.usbLink()) {
    session_.link().ChooseUsbDevice(true);
    return;
  }
  const SettingsStore store = session_.profileStore();
  PortSelection selection(
      model_.portIndex(), [&store](int port) { return PortCanBeOpened(port, store); },
      [&store](int port) { return PortDevicePath(port, store); }, session_.language());
  const std::filesystem::path tab = model_.tabPath();
  PortDialog dialog(
      selection, [this, tab](int port) { return DetectArmOnPort(session_, port, tab); },
      session_.language(), this);
  if (dialog.exec() == QDialog::Accepted) model_.ChoosePort(dialog.chosenPort());
  Refresh();
}

void MainWindowView::Reference(int mode) {
  timer_.stop();
  RuotaTerna(mode, session_.link().IsOpen(), session_.state().frames, session_.profileStore(),
             session_.dialogs().MakeAlignmentDialog(session_));
  if (model_.display().connected) timer_.start(kTickMs);
}

void MainWindowView::ProbesManagement() {
  if (!model_.ProbesManagement()) return;
  Refresh();
  probes_.Open(session_);
  model_.ShowWaiting();
  Refresh();
}

void MainWindowView::Calibration(AcquisitionKind kind) {
  model_.StartCalibration();
  Refresh();
  timer_.stop();
  PointsAcquisitionDialog dialog(
      session_, kind,
      [this](const Pose& pose, std::int32_t status) {
        model_.ShowReading(pose, status);
        Refresh();
      },
      WriteReportFile, CalibrationReportActions(session_, this), this);
  dialog.exec();
  model_.ShowWaiting();
  if (model_.display().connected) timer_.start(kTickMs);
  Refresh();
}

void MainWindowView::ManualStylusLength() {
  model_.StartStylusLength();
  Refresh();
  StylusLength stylus(session_, TabSaveDialog(this));
  if (StylusLengthDialog(stylus, this).exec() == QDialog::Accepted) {
    model_.StylusTabWritten(stylus.newTabPath());
  }
  model_.ShowWaiting();
  Refresh();
}

void MainWindowView::StylusProcedure() {
  model_.StartStylusCalibration();
  Refresh();
  timer_.stop();
  StylusCalibration procedure(session_, TabSaveDialog(this));
  StylusCalibrationWizard(procedure, this).exec();
  model_.ShowWaiting();
  if (model_.display().connected) timer_.start(kTickMs);
  Refresh();
}

void MainWindowView::About() {
  QMessageBox box(QMessageBox::Information, Text(2113),
                  QStringLiteral("PilvoWizard\n") + ToQString(FileVersion()) +
                      QStringLiteral("\n\nKelmorad measuring arms"),
                  QMessageBox::Ok, this);
  box.button(QMessageBox::Ok)->setText(Text(2200));
  box.setAccessibleName(box.windowTitle());
  box.exec();
}

void MainWindowView::ChooseLanguage(int code) {
  model_.ChooseLanguage(code);
  Relabel();
}

void MainWindowView::closeEvent(QCloseEvent* event) {
  if (model_.display().connected) Disconnect();
  event->accept();
}

}  // namespace pilvo::wizard
