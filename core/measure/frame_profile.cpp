#include "measure/frame_profile.h"

#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/settings.h"

namespace pilvo {
namespace {

// The table's values are read into a 260-character buffer: longer texts lose their tail.
constexpr std::size_t kTableValueChars = 259;

// "%f" and atof follow the thread's numeric locale, and a Qt host sets the user's: numbers are
// written and read with the "C" locale's "." whatever the host chose.
class ClassicNumbers {
 public:
  ClassicNumbers() : previous_(Classic() ? ::uselocale(Classic()) : locale_t{}) {}
  ~ClassicNumbers() {
    if (previous_) ::uselocale(previous_);
  }
  ClassicNumbers(const ClassicNumbers&) = delete;
  ClassicNumbers& operator=(const ClassicNumbers&) = delete;

 private:
  static locale_t Classic() {
    static const locale_t classic = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    return classic;
  }
  locale_t previous_;
};

// "matRif_" followed by the row and column digits; in "Terna" element (2, 1) is "matRif-21".
std::string MatrixKey(std::string_view section, int row, int column) {
  const bool hyphen = section == kUserFrameSection && row == 2 && column == 1;
  return std::string(hyphen ? "matRif-" : "matRif_") + std::to_string(row) + std::to_string(column);
}

bool WriteValue(std::string_view section, const std::string& key, double value,
                std::string_view store) {
  char text[400];  // "%f" of the largest double needs 317 characters
  {
    const ClassicNumbers classic;
    std::snprintf(text, sizeof text, "%f", value);
  }
  return WriteSettingString(section, key, text, store);
}

double ReadValue(std::string_view section, const std::string& key, bool diagonal,
                 std::string_view store, std::size_t maxChars) {
  std::string text = GetSettingString(section, key, diagonal ? "1" : "0", store);
  if (text.size() > maxChars) text.resize(maxChars);
  const ClassicNumbers classic;
  return std::atof(text.c_str());
}

bool WriteMatrix(std::string_view section, const Pose& matrix, std::string_view store) {
  for (int column = 0; column < 4; ++column) {
    for (int row = 0; row < 4; ++row) {
      if (!WriteValue(section, MatrixKey(section, row, column), matrix[4 * row + column], store)) {
        return false;
      }
    }
  }
  return true;
}

Pose ReadMatrix(std::string_view section, std::string_view store, std::size_t maxChars) {
  Pose matrix;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      matrix[4 * row + column] =
          ReadValue(section, MatrixKey(section, row, column), row == column, store, maxChars);
    }
  }
  return matrix;
}

std::string OffsetKey(int row) {
  return "ref1_" + std::to_string(row) + "3";
}

}  // namespace

bool WriteUserFrame(const Pose& rotation, const Point3& offset, std::string_view store) {
  if (!WriteMatrix(kUserFrameSection, rotation, store)) return false;
  for (int row = 0; row < 3; ++row) {
    if (!WriteValue(kUserFrameSection, OffsetKey(row), offset[row], store)) return false;
  }
  return true;
}

void ReadUserFrame(Pose& rotation, Point3& offset, std::string_view store) {
  rotation = ReadMatrix(kUserFrameSection, store, std::string::npos);
  for (int row = 0; row < 3; ++row) {
    offset[row] = ReadValue(kUserFrameSection, OffsetKey(row), false, store, std::string::npos);
  }
}

bool WriteTableMatrix(const Pose& matrix) {
  return WriteMatrix(kRotatingTableSection, matrix, kRotatingTableFile);
}

Pose ReadTableMatrix() {
  return ReadMatrix(kRotatingTableSection, kRotatingTableFile, kTableValueChars);
}

}  // namespace pilvo
