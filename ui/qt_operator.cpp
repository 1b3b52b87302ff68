#include "ui/qt_operator.h"

#include <QCoreApplication>

#include "session/arm_session.h"
#include "ui/arm_status_dialogs.h"

namespace pilvo {

QtOperator::QtOperator(WindowsApplication application, Program program, Language language)
    : application_(std::move(application)), language_(language) {
  // The library's windows come and go: closing the last one must not end a client's loop.
  if (application_.owned) application_.owned->setQuitOnLastWindowClosed(false);
  if (program != Program::Library) return;
  tray_ = std::make_unique<TrayIcon>(prompts_, language_);
  tray_->onProbesManagement = [this] { OpenProbesWindow(); };
}

QtOperator::~QtOperator() = default;

void QtOperator::ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
  prompts_.ShowMessage(text, caption, icon);
}

bool QtOperator::AskYesNo(std::string_view text, std::string_view caption) {
  return prompts_.AskYesNo(text, caption);
}

std::optional<std::size_t> QtOperator::ChooseFromList(std::string_view title,
                                                      const std::vector<std::string>& lines) {
  return prompts_.ChooseFromList(title, lines);
}

std::optional<std::filesystem::path> QtOperator::ChooseFileToOpen(
    std::string_view filter, std::string_view defaultExtension,
    const std::filesystem::path& folder) {
  return prompts_.ChooseFileToOpen(filter, defaultExtension, folder);
}

void QtOperator::Beep() {
  prompts_.Beep();
}

void QtOperator::ArmConnected(std::string_view probeTooltip) {
  if (tray_) tray_->ShowConnected(probeTooltip);
}

void QtOperator::ArmDisconnected() {
  probes_.Close();
  if (tray_) tray_->ShowDisconnected();
}

void QtOperator::ResetBatteryDisplay() {
  if (tray_) tray_->ResetBattery();
}

void QtOperator::RefreshSupplyDisplay(const SupplyReading& supply, const ArmRecord& record) {
  if (tray_) tray_->UpdateBattery(supply, record);
}

void QtOperator::ShowLimitsWarning() {
  // Only the readings of a session served warn: the window keeps its settings in its context.
  if (session_ == nullptr) return;
  if (!limits_) limits_ = std::make_unique<LimitsWindow>(session_->context());
  limits_->Open(session_->state());
}

void QtOperator::UpdateLimitsWarning(std::uint32_t outMask, std::span<const double> angles) {
  if (!limits_) ShowLimitsWarning();
  if (limits_ && limits_->Update(outMask, angles)) Beep();
}

void QtOperator::HideLimitsWarning() {
  if (limits_) limits_->hide();
}

void QtOperator::RunResetDialog(ResetProcedure& procedure) {
  ExecResetDialog(procedure);
}

void QtOperator::RunTemperatureDialog(TemperatureChoice& choice) {
  ExecTemperatureDialog(choice);
}

void QtOperator::RunAlignmentDialog(AlignmentProcedure& procedure) {
  ExecAlignmentDialog(procedure);
}

void QtOperator::ServeSession(ArmSession& session) {
  session_ = &session;
  if (tray_) tray_->Serve(session);
}

void QtOperator::OpenProbesWindow() {
  if (session_ != nullptr) probes_.Open(*session_);
}

void QtOperator::ProcessPendingEvents() {
  // A host with its own application runs its own loop.
  if (!application_.owned) return;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
}

std::unique_ptr<QtOperator> StartQtOperator(Language language, std::string& why) {
  WindowsApplication application = StartWindowsApplication(why);
  if (application.application == nullptr) return nullptr;
  return std::make_unique<QtOperator>(std::move(application), Program::Library, language);
}

}  // namespace pilvo
