#include "ui/application_start.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace pilvo {
namespace {

constexpr char kOffscreen[] = "offscreen";

// What Qt says while it looks for a platform: the reason when none starts, kept off the
// client's standard error otherwise.
std::string* platformMessages = nullptr;

void CollectPlatformMessage(QtMsgType /*type*/, const QMessageLogContext& /*context*/,
                            const QString& message) {
  if (platformMessages == nullptr) return;
  if (!platformMessages->empty()) *platformMessages += "; ";
  *platformMessages += message.toStdString();
}

}  // namespace

WindowsApplication StartWindowsApplication(std::string& why) {
  if (QCoreApplication* host = QCoreApplication::instance()) {
    if (auto* widgets = qobject_cast<QApplication*>(host)) return {widgets, nullptr};
    why = "the program runs Qt without widgets";
    return {};
  }
  // Qt aborts the process when no platform starts: the offscreen one comes last, and landing on
  // it means that no display could be reached.
  const bool offscreenAsked = qgetenv("QT_QPA_PLATFORM") == kOffscreen;
  static char name[] = "pilvo";
  static char option[] = "-platform";
  static char platforms[] = "xcb;wayland;offscreen";
  static char* arguments[] = {name, option, platforms, nullptr};
  static int count = 3;
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) count = 1;
  std::string messages;
  platformMessages = &messages;
  const QtMessageHandler previous = qInstallMessageHandler(CollectPlatformMessage);
  auto application = std::make_unique<QApplication>(count, arguments);
  qInstallMessageHandler(previous);
  platformMessages = nullptr;
  if (QGuiApplication::platformName() == QLatin1String(kOffscreen) && !offscreenAsked) {
    why = messages.empty() ? "no display can be reached" : messages;
    return {};
  }
  QApplication* started = application.get();
  return {started, std::move(application)};
}

}  // namespace pilvo
