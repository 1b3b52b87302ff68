// PilvoWizard: installation, service and calibration of the arm. It links the driver's code and
// windows and runs its own arm session; it never loads libpilvo.so.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <string>
#include <string_view>

#include "data/product_context.h"
#include "dialogs/tray_shell.h"
#include "session/arm_session.h"
#include "ui/qt_operator.h"
#include "wizard/main_window_view.h"

namespace {

constexpr char kUsage[] =
    "Usage: PilvoWizard [--help] [--version] [--demo] [--connect] [Qt options]\n"
    "Installation, service and calibration of the Pilvo3D measuring arm. The arm's TAB file,\n"
    "port and language are those of the last run (settings under $PILVO_CONFIG_DIR, else\n"
    "$XDG_CONFIG_HOME/Kelmorad); a USB arm is reached through libmpusbapi.so.\n"
    "  --demo    connect to a virtual arm made from the TAB file, moving by itself, in place\n"
    "            of a real arm\n"
    "  --connect connect to the arm as soon as the window opens\n";

// Answered before Qt starts, so that they work without a display too. True when one was asked.
bool AnsweredCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return true;
    }
    if (argument == "--version") {
      std::printf("PilvoWizard %.*s\n", static_cast<int>(pilvo::FileVersion().size()),
                  pilvo::FileVersion().data());
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnsweredCommandLine(argc, argv)) return 0;
  QApplication application(argc, argv);
  application.setApplicationName(QStringLiteral("PilvoWizard"));
  pilvo::ProductContext context = pilvo::ContextFromEnvironment(pilvo::Program::Wizard);
  context.SelectLanguageAtStart();
  pilvo::QtOperator windows({&application, nullptr}, pilvo::Program::Wizard);
  pilvo::ArmSession session(context, windows.ports());
  windows.ServeSession(session);
  if (const int status = session.link().LoadUsbLibrary(); status < 0) {
    windows.ShowMessage("_error loading mpusbapi.dll (" + std::to_string(status) + ")",
                        pilvo::kWizardCaption, pilvo::MessageIcon::Error);
  }
  pilvo::wizard::MainWindowView window(session, context.language());
  if (QCoreApplication::arguments().contains(QStringLiteral("--demo"))) window.UseDemoArm();
  window.show();
  if (QCoreApplication::arguments().contains(QStringLiteral("--connect"))) {
    QTimer::singleShot(0, &window, &pilvo::wizard::MainWindowView::Connect);
  }
  return application.exec();
}
