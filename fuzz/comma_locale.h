// A Qt host sets the user's locale, whose numbers may have a decimal comma: the number texts of
// the board and of the settings must read the same under it. Fuzz targets that read such texts
// run under one when it is installed (scripts/run-fuzz.sh compiles one when it is not).
#pragma once

#include <clocale>
#include <cstdio>

namespace pilvo::fuzz {

inline void UseCommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "it_IT.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) return;
  }
  std::fprintf(stderr, "no locale with a decimal comma: numbers are read in the C locale only\n");
}

}  // namespace pilvo::fuzz
