// The stored alignments as they may be found in "pilvo.ini": any bytes as the file, read as
// the rotating table ("TavolaRotante") and the user frame ("Terna"). Every element is the
// decimal text stored, read with "." whatever the locale, and what is written reads back within
// the rounding of "%f".
//
// Input: the content of "pilvo.ini".
#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <string>

#include "comma_locale.h"
#include "data/settings.h"
#include "fuzz_check.h"
#include "measure/frame_profile.h"
#include "platform/atomic_file.h"
#include "scoped_config_dir.h"

namespace {

using namespace pilvo;
using fuzz::Check;

// The table's texts are read into 260 characters; longer ones lose their tail.
constexpr std::size_t kTableTextChars = 259;
// Above this "%f" writes more than the table reads back.
constexpr double kLargestTableValue = 1e250;

bool TableKeeps(double value) {
  return !(std::fabs(value) >= kLargestTableValue) || std::isinf(value);
}

double ClassicNumber(const std::string& text) {
  static const locale_t classic = ::newlocale(LC_ALL_MASK, "C", locale_t{});
  return ::strtod_l(text.c_str(), nullptr, classic);
}

bool Same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || a == b;
}

// "%f" rounds to six decimals; reading that back rounds once more to a double.
bool WithinPrintedRounding(double written, double read) {
  if (!std::isfinite(written)) return Same(written, read);
  return std::fabs(read - written) <= 5.000001e-7 + std::fabs(written) * 4.5e-16;
}

std::string Key(std::string_view section, int row, int column) {
  const char* prefix =
      section == kUserFrameSection && row == 2 && column == 1 ? "matRif-" : "matRif_";
  return prefix + std::to_string(row) + std::to_string(column);
}

// The fuzzer's own settings folder, made once.
const testing::ScopedConfigDir& Folder() {
  static const testing::ScopedConfigDir folder("pilvo-frame-fuzz");
  return folder;
}

SettingsStore Table() {
  return Folder().Store(kRotatingTableFile);
}

double StoredElement(std::string_view section, int row, int column, std::size_t maxChars) {
  std::string text =
      GetSettingString(section, Key(section, row, column), row == column ? "1" : "0", Table());
  return ClassicNumber(text.substr(0, maxChars));
}

void CheckReadAsStored(const Pose& table, double angle, const Pose& rotation,
                       const Point3& offset) {
  const std::string angleText =
      GetSettingString(kRotatingTableSection, kTableAngleKey, "0", Table());
  Check(Same(angle, ClassicNumber(angleText.substr(0, kTableTextChars))),
        "the table angle is its stored text, cut to 259 characters");
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      Check(Same(table[4 * row + column],
                 StoredElement(kRotatingTableSection, row, column, kTableTextChars)),
            "a table element is its stored text, cut to 259 characters");
      Check(Same(rotation[4 * row + column],
                 StoredElement(kUserFrameSection, row, column, std::string::npos)),
            "a frame element is its stored text");
    }
  }
  for (int row = 0; row < 3; ++row) {
    const std::string text =
        GetSettingString(kUserFrameSection, "ref1_" + std::to_string(row) + "3", "0", Table());
    Check(Same(offset[row], ClassicNumber(text)), "a frame offset is its stored text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Folder();
  fuzz::UseCommaLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Check(!WriteFileAtomically(*SettingsStorePath(Table()), std::span(data, size)),
        "the store file is written");
  Pose table{};
  double angle = 0.0;
  ReadTableMatrix(table, angle, Table());
  Pose rotation{};
  Point3 offset{};
  ReadUserFrame(rotation, offset, Folder().Store(kLibraryProfileStore));
  CheckReadAsStored(table, angle, rotation, offset);

  if (WriteUserFrame(rotation, offset, Folder().Store(kWizardProfileStore))) {
    Pose rotationBack{};
    Point3 offsetBack{};
    ReadUserFrame(rotationBack, offsetBack, Folder().Store(kWizardProfileStore));
    for (std::size_t i = 0; i < rotation.size(); ++i) {
      Check(WithinPrintedRounding(rotation[i], rotationBack[i]), "a frame reads back as written");
    }
    for (std::size_t i = 0; i < offset.size(); ++i) {
      Check(WithinPrintedRounding(offset[i], offsetBack[i]), "an offset reads back as written");
    }
  }
  if (WriteTableMatrix(table, angle, Table())) {
    Pose back{};
    double angleBack = 0.0;
    ReadTableMatrix(back, angleBack, Table());
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (TableKeeps(table[i])) {
        Check(WithinPrintedRounding(table[i], back[i]), "the table reads back as written");
      }
    }
    if (TableKeeps(angle)) {
      Check(WithinPrintedRounding(angle, angleBack), "the table angle reads back as written");
    }
  }
  return 0;
}
