// The QApplication the windows live in: the host's when it already runs one, else one of ours
// on the calling thread.
#pragma once

#include <QApplication>
#include <memory>
#include <string>

namespace pilvo {

struct WindowsApplication {
  QApplication* application = nullptr;  // null: the windows cannot start
  std::unique_ptr<QApplication> owned;  // set when the application is ours
};

// Fails, with the reason in `why`, when the host runs a Qt application without widgets or no
// display can be reached. Asking for the offscreen platform (QT_QPA_PLATFORM) is honoured.
WindowsApplication StartWindowsApplication(std::string& why);

}  // namespace pilvo
