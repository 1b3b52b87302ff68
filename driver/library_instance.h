// The library's one arm session per process and the operator it asks: set up when a client
// first needs them, taken down when the library is unloaded.
#pragma once

#include <memory>
#include <string_view>

#include "dialogs/operator.h"
#include "session/arm_session.h"

namespace pilvo {

class LibraryInstance {
 public:
  // The library start-up: installation name, language, USB access library, rotating table.
  LibraryInstance();
  // Closes the link and releases the USB access library.
  ~LibraryInstance();
  LibraryInstance(const LibraryInstance&) = delete;
  LibraryInstance& operator=(const LibraryInstance&) = delete;

  ArmSession& session() { return session_; }
  Operator& ui() { return *ui_; }

  // Records the port of a client session. A name that does not fit the port field (or no name)
  // is refused, and the serial link then stays closed until a name that fits is given: the
  // port named before must not be opened in its place.
  void NamePort(std::string_view name);
  // False while a refused port name keeps a closed serial link from opening.
  bool MayOpenLink();

 private:
  ProductContext context_;
  std::unique_ptr<Operator> ui_;
  ArmSession session_;
  bool portRefused_ = false;
};

// The process-wide instance, made at its first use.
LibraryInstance& TheLibrary();

}  // namespace pilvo
