// A host may set a locale whose numbers have a decimal comma (a Qt host sets the user's): the
// tests of number texts switch to one when it is installed.
#pragma once

#include <clocale>

namespace pilvo::testing {

// The name of the decimal-comma locale now set for the whole process, or null when none is
// installed (the locale is then left as it was).
inline const char* SetCommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "it_IT.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) return name;
  }
  return nullptr;
}

}  // namespace pilvo::testing
