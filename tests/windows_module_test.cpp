// The driver's windows as a client meets them. With a display, libpilvo.so loads its windows
// module and asks through Qt windows, in a QApplication of its own or in the one the client
// already runs; without a display it loads no GUI library at all (driver_exports_test).
// LibraryConfigDir names the settings folder through the environment, as a client's would.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSystemTrayIcon>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "pilvo.h"
#include "pilvo_library.h"
#include "qt_test_support.h"
#include "sim/serial_server.h"
#include "sim_session_fixture.h"

namespace pilvo {
namespace {

bool Mapped(std::string_view library) {
  std::ostringstream maps;
  maps << std::ifstream("/proc/self/maps").rdbuf();
  return maps.str().find(library) != std::string::npos;
}

class WindowsModule : public ::testing::TestWithParam<bool> {};

TEST_P(WindowsModule, LibraryAsksThroughQtWindows) {
  const bool clientRunsQt = GetParam();
  testing::LibraryConfigDir config("windows_module");
  ::unsetenv("PILVO_OPERATOR");
  int argc = 1;
  char name[] = "client";
  char* argv[] = {name, nullptr};
  std::unique_ptr<QApplication> client;
  if (clientRunsQt) client = std::make_unique<QApplication>(argc, argv);

  testing::PilvoLibrary library;
  ASSERT_TRUE(library.Load(PILVO_LIBRARY)) << library.error();
  EXPECT_EQ(library.exports().AprePorta("COM1"), 0);
  EXPECT_TRUE(Mapped("libpilvo-ui.so"));
  auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
  ASSERT_NE(application, nullptr);
  if (clientRunsQt) {
    EXPECT_EQ(application, client.get());
  }

  const auto notTab = config.path() / "not.tab";
  std::ofstream(notTab) << "not a TAB file";
  QString caption;
  testing::WithNextModal([&](QWidget& window) {
    caption = window.windowTitle();
    static_cast<QDialog&>(window).accept();
  });
  EXPECT_EQ(library.exports().LeggeParametri(notTab.c_str()), PILVO_TAB_INVALID);
  EXPECT_EQ(caption, "Pilvo DLL");
  EXPECT_TRUE(library.Unload()) << library.error();
}

INSTANTIATE_TEST_SUITE_P(OwnOrClientApplication, WindowsModule, ::testing::Bool());

QSystemTrayIcon* LibraryTrayIcon() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* icon = window->findChild<QSystemTrayIcon*>()) return icon;
  }
  return nullptr;
}

// A measuring application on a desktop: the tray icon in the notification area (a tray host
// runs), and during ResetEncoder the reset dialog, which closes by itself once the arm has
// passed its reference marks.
TEST(WindowsModuleOnADesktop, ResetDialogFollowsTheMarksAndTheTrayShowsTheArm) {
  // The icon is put in the tray when the library starts: the tray host must be up by then. On a
  // loaded machine it may take seconds, or lose its first connection and have to start again.
  pid_t trayer = -1;
  bool trayUp = false;
  for (int wait = 0; wait < 600 && !trayUp; ++wait) {
    if (trayer < 0 || ::waitpid(trayer, nullptr, WNOHANG) == trayer) {
      trayer = ::fork();
      if (trayer == 0) {
        ::execlp("trayer", "trayer", "--SetDockType", "true", static_cast<char*>(nullptr));
        ::_exit(127);
      }
    }
    trayUp = std::system("xdotool search --class trayer > /dev/null 2>&1") == 0;
    if (!trayUp) ::usleep(50000);
  }
  ASSERT_TRUE(trayUp) << "trayer did not start";
  testing::LibraryConfigDir config("windows_desktop");
  ::unsetenv("PILVO_OPERATOR");
  TabContents contents = testing::PlainDemoTab("serial6_dh_marks");
  const auto tabPath = config.path() / "arm.tab";
  ASSERT_EQ(WriteTabFile(tabPath, contents), TabWriteError::None);
  sim::VirtualArmOptions unreferenced;
  unreferenced.referenced = false;
  sim::VirtualArm arm(contents.main, unreferenced);
  sim::SerialSimServer serial(arm);
  ASSERT_TRUE(serial.Start());
  testing::ShortPortName port(serial.slavePath());

  testing::PilvoLibrary library;
  ASSERT_TRUE(library.Load(PILVO_LIBRARY)) << library.error();
  const auto& pilvo = library.exports();
  EXPECT_EQ(pilvo.AprePorta(port.name().c_str()), 0);
  ASSERT_EQ(pilvo.LeggeParametri(tabPath.c_str()), 0);
  QSystemTrayIcon* icon = LibraryTrayIcon();
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
  EXPECT_TRUE(icon->isVisible());
  EXPECT_EQ(icon->toolTip(), "Pilvo3D not connected");

  QString title;
  testing::WithNextModal([&](QWidget& dialog) {
    title = dialog.windowTitle();
    for (int joint = 0; joint < contents.main.jointCount; ++joint) arm.PassReferenceMark(joint);
  });
  EXPECT_EQ(pilvo.ResetEncoder(), 0);
  EXPECT_EQ(title, "Pilvo DLL: Reference mark dialog");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_NE(icon->toolTip(), "Pilvo3D not connected");
  EXPECT_EQ(pilvo.ChiudePorta(), 0);
  EXPECT_EQ(icon->toolTip(), "Pilvo3D not connected");
  EXPECT_TRUE(library.Unload()) << library.error();
  ::kill(trayer, SIGTERM);
  ::waitpid(trayer, nullptr, 0);
}

}  // namespace
}  // namespace pilvo
