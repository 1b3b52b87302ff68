#include "library_instance.h"

#include <array>
#include <cstdio>

#include "data/settings.h"
#include "dialogs/operator_choice.h"
#include "session/rotating_table.h"

namespace pilvo {

LibraryInstance::LibraryInstance()
    : ui_(MakeOperatorFromEnvironment()),
      context_(ContextFromEnvironment(Program::Library)),
      session_(context_, ui_->ports()) {
  context_.SelectLanguageAtStart();
  if (const int status = session_.link().LoadUsbLibrary(); status < 0) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "_error loading mpusbapi.dll (%i)", status);
    ui_->ShowMessage(text.data(), kLibraryCaption, MessageIcon::Error);
  }
  // The session starts with its link closed and its flags clear; the table matrix is read but
  // applied only once the table has been aligned again.
  LoadTableMatrix(session_.state().frames, context_.Store(kRotatingTableFile));
}

LibraryInstance::~LibraryInstance() {
  session_.link().UnloadArmLink();
}

void LibraryInstance::NamePort(std::string_view name) {
  session_.MarkClientSession();
  portRefused_ = !session_.link().SetPortName(name);
}

bool LibraryInstance::MayOpenLink() {
  ArmLink& link = session_.link();
  return !portRefused_ || link.IsUsb() || link.IsOpen();
}

LibraryInstance& TheLibrary() {
  // Destroyed when the library is unloaded, or at the end of the process.
  static LibraryInstance instance;
  return instance;
}

}  // namespace pilvo
