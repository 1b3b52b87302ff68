// libpilvo-ui.so: the windows of the driver library, loaded by it at run time. Its one entry
// point starts the operator with windows; the library owns and deletes it.
#include <cstdio>
#include <exception>
#include <string>

#include "data/local_text.h"
#include "ui/qt_operator.h"

extern "C" __attribute__((visibility("default"))) pilvo::Operator* pilvo_ui_open(
    int languageCode, char* why, std::size_t whySize) noexcept {
  std::string reason;
  try {
    if (auto windows = pilvo::StartQtOperator(pilvo::Language(languageCode), reason)) {
      return windows.release();
    }
  } catch (const std::exception& error) {
    reason = error.what();
  }
  if (why != nullptr && whySize > 0) std::snprintf(why, whySize, "%s", reason.c_str());
  return nullptr;
}
