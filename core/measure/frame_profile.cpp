#include "measure/frame_profile.h"

#include <string>
#include <utility>
#include <vector>

#include "data/number_text.h"
#include "data/settings.h"

namespace pilvo {
namespace {

// The table's values are read into a 260-character buffer: longer texts lose their tail.
constexpr std::size_t kTableValueChars = 259;

// "matRif_" followed by the row and column digits; in "Terna" element (2, 1) is "matRif-21".
std::string MatrixKey(std::string_view section, int row, int column) {
  const bool hyphen = section == kUserFrameSection && row == 2 && column == 1;
  return std::string(hyphen ? "matRif-" : "matRif_") + std::to_string(row) + std::to_string(column);
}

// The keys and texts of one section, written to the store in one go: a failure never leaves a
// frame mixed from two alignments.
class SectionValues {
 public:
  explicit SectionValues(std::string_view section) : section_(section) {}

  void Add(std::string key, double value) {
    keys_.push_back(std::move(key));
    texts_.push_back(FixedText(value, 6));
  }
  void AddMatrix(const Pose& matrix) {
    for (int column = 0; column < 4; ++column) {
      for (int row = 0; row < 4; ++row) {
        Add(MatrixKey(section_, row, column), matrix[4 * row + column]);
      }
    }
  }
  bool Write(const SettingsStore& store) const {
    std::vector<SettingText> values;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      values.push_back({section_, keys_[i], texts_[i]});
    }
    return WriteSettings(values, store);
  }

 private:
  std::string_view section_;
  std::vector<std::string> keys_;
  std::vector<std::string> texts_;
};

double ReadValue(std::string_view section, const std::string& key, bool diagonal,
                 const SettingsStore& store, std::size_t maxChars) {
  std::string text = GetSettingString(section, key, diagonal ? "1" : "0", store);
  if (text.size() > maxChars) text.resize(maxChars);
  return LeadingNumber(text.c_str());
}

Pose ReadMatrix(std::string_view section, const SettingsStore& store, std::size_t maxChars) {
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

bool WriteUserFrame(const Pose& rotation, const Point3& offset, const SettingsStore& store) {
  SectionValues values(kUserFrameSection);
  values.AddMatrix(rotation);
  for (int row = 0; row < 3; ++row) values.Add(OffsetKey(row), offset[row]);
  return values.Write(store);
}

void ReadUserFrame(Pose& rotation, Point3& offset, const SettingsStore& store) {
  rotation = ReadMatrix(kUserFrameSection, store, std::string::npos);
  for (int row = 0; row < 3; ++row) {
    offset[row] = ReadValue(kUserFrameSection, OffsetKey(row), false, store, std::string::npos);
  }
}

bool WriteTableMatrix(const Pose& matrix, double referenceAngle, const SettingsStore& store) {
  SectionValues values(kRotatingTableSection);
  values.AddMatrix(matrix);
  values.Add(std::string(kTableAngleKey), referenceAngle);
  return values.Write(store);
}

void ReadTableMatrix(Pose& matrix, double& referenceAngle, const SettingsStore& store) {
  matrix = ReadMatrix(kRotatingTableSection, store, kTableValueChars);
  referenceAngle =
      ReadValue(kRotatingTableSection, std::string(kTableAngleKey), false, store, kTableValueChars);
}

}  // namespace pilvo
