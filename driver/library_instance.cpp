#include "library_instance.h"

#include <array>
#include <cstdio>

#include "data/settings.h"
#include "dialogs/operator_choice.h"
#include "session/rotating_table.h"
#include "windows_module.h"

namespace pilvo {
namespace {

// The windows are told the language: the start-up chooses it before the operator exists.
ProductContext LibraryContext() {
  ProductContext context = ContextFromEnvironment(Program::Library);
  context.SelectLanguageAtStart();
  return context;
}

}  // namespace

LibraryInstance::LibraryInstance()
    : context_(LibraryContext()),
      ui_(MakeOperatorFromEnvironment(
          [this](std::string& why) { return StartWindowsModule(context_.language(), why); })),
      session_(context_, ui_->ports()) {
  ui_->ServeSession(session_);
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
