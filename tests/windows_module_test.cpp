// The driver's windows as a client meets them. With a display, libpilvo.so loads its windows
// module and asks through Qt windows, in a QApplication of its own or in the one the client
// already runs; without a display it loads no GUI library at all (driver_exports_test).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <fstream>
#include <memory>
#include <sstream>

#include "pilvo.h"
#include "pilvo_library.h"
#include "qt_test_support.h"
#include "scoped_config_dir.h"

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
  testing::ScopedConfigDir config("windows_module");
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

}  // namespace
}  // namespace pilvo
