// The report file (".rep") of a points acquisition: the arm's TAB data exactly as a TAB file
// holds it, then a text block with one line per item (zones, points, and a trailer with the free
// report texts and the bar length). Parsing works on bytes so that it can be fuzzed.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "data/tab_file.h"

namespace pilvo {

inline constexpr int kReportFormatVersion = 5;
inline constexpr int kMaxReportZones = 20;
inline constexpr int kMaxZonePoints = 1000;
inline constexpr int kReportTexts = 6;
inline constexpr std::string_view kReportFileFilter = "Rep Files (*.rep) | *.rep||";

enum class ZoneType { Plane = 0, Point = 1, Bar = 2, Coord = 3, Reni = 4, Fork = 5 };

struct ReportPoint {
  std::array<double, 3> position{};      // X, Y, Z in mm
  std::array<double, 3> temperatures{};  // degrees C
  std::array<double, 8> jointCounts{};
  bool operator==(const ReportPoint&) const = default;
};

struct ReportZone {
  ZoneType type = ZoneType::Point;
  std::vector<ReportPoint> points;  // at most kMaxZonePoints
  bool operator==(const ReportZone&) const = default;
};

struct ReportFile {
  TabContents tab;
  std::vector<ReportZone> zones;  // 1 (point calibration) or 2 (ball bar), at most kMaxReportZones
  std::array<std::string, kReportTexts> texts{"?", "?", "?", "?", "?", "?"};
  int language = 0;
  double barLength = 0.0;  // nominal, mm
};

enum class ReportError {
  None,
  BadTab,     // the TAB part is not a valid TAB file
  BadBlock,   // the text block is missing, truncated, or holds a value out of range
  FileError,  // the file could not be read, or written and flushed to disk
};

// Where a file was refused, for the messages of the tools.
struct ReportRefusal {
  TabError tab = TabError::None;  // BadTab: why the TAB reader refused the data
  int blockLine = 0;              // BadBlock: the line of the text block, "Calibra" being 1
};

// `text` as one line of the text block: a line break would shift every line after it, so each
// becomes a space.
std::string OneLineText(std::string text);

// The bytes of a whole report file; empty on failure. Fails with BadTab when the TAB data cannot
// be serialised, with BadBlock for more zones or points than the limits, a zone type out of
// range or a number that is not finite. The texts are written as OneLineText.
ReportError SerializeReportFile(const ReportFile& report, std::vector<std::uint8_t>& bytes);
// Replaces the file at `path` atomically: on any failure the previous file stays intact.
ReportError WriteReportFile(const std::filesystem::path& path, const ReportFile& report);
// Parses a whole file, every line of its text block exactly as the writer forms it; `report` is
// changed only when the whole file is accepted. `refusal`, when given, says where it failed.
ReportError ParseReportFile(std::span<const std::uint8_t> bytes, ReportFile& report,
                            ReportRefusal* refusal = nullptr);
ReportError ReadReportFile(const std::filesystem::path& path, ReportFile& report,
                           ReportRefusal* refusal = nullptr);

}  // namespace pilvo
