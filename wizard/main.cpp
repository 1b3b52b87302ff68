// PilvoWizard: installation, service and calibration of the arm. It links the driver's code and
// windows and runs its own arm session; it never loads libpilvo.so.
#include <QApplication>
#include <string>

#include "data/product_context.h"
#include "session/arm_session.h"
#include "ui/qt_operator.h"
#include "wizard/main_window_view.h"

int main(int argc, char** argv) {
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
  window.show();
  return application.exec();
}
