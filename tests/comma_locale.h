#pragma once

#include <clocale>

namespace pilvo::testing {

// A host may set a locale whose numbers have a decimal comma, as a Qt host sets the user's. Sets
// one for the whole process and returns its name, or null when none is installed.
inline const char* SetCommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "it_IT.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) return name;
  }
  return nullptr;
}

}  // namespace pilvo::testing
