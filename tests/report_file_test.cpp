// The report file: files assembled line by line from the documented layout against the writer,
// the reader's round trip and its refusals, and the writer's limits.
#include "data/report_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>

#include "platform/atomic_file.h"
#include "scoped_config_dir.h"
#include "tab_golden.h"

namespace pilvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// Three points and the lines their values give, spelt out by hand: rounding to three decimals,
// a tie (22.0625, 2.5) rounded to even as printf does, negative numbers.
const ReportPoint kPoints[] = {
    {{10.5, -3.25, 1.23456}, {21.0, 21.5, 22.0625}, {0, 1, -2, 30000, 123456789, -7, 2.5, 0}},
    {{-0.0004, 1000.0, 2.0}, {20.0, 20.0, 20.0}, {5, 5, 5, 5, 5, 5, 0, 0}},
    {{499.9996, 0.001, -7.5}, {19.125, 19.25, 19.375}, {-1, -2, -3, -4, -5, -6, -7, -8}},
};
const char* const kPointLines[] = {
    "10.500 -3.250 1.235 21.000 21.500 22.062 0 1 -2 30000 123456789 -7 2 0",
    "-0.000 1000.000 2.000 20.000 20.000 20.000 5 5 5 5 5 5 0 0",
    "500.000 0.001 -7.500 19.125 19.250 19.375 -1 -2 -3 -4 -5 -6 -7 -8",
};
const Bytes kTab = testing::GoldenT4x(4, 2);

struct Golden {
  ReportFile report;
  Lines lines;  // of the text block
};

// The TAB file, then every line after a line feed.
Bytes Assemble(const Lines& lines) {
  Bytes bytes = kTab;
  for (const std::string& line : lines) {
    bytes.push_back('\n');
    bytes.insert(bytes.end(), line.begin(), line.end());
  }
  return bytes;
}

// The report over the "t44" golden TAB file: zones of (type, type code, indices into kPoints).
Golden MakeGolden(const std::vector<std::tuple<ZoneType, int, std::vector<int>>>& zones,
                  const Lines& trailer) {
  Golden golden;
  EXPECT_EQ(ParseTabFile(kTab, golden.report.tab), TabError::None);
  golden.lines = {"Calibra", "5", std::to_string(zones.size())};
  for (std::size_t z = 0; z < zones.size(); ++z) {
    const auto& [type, code, points] = zones[z];
    golden.report.zones.push_back({type, {}});
    golden.lines.insert(golden.lines.end(), {"---- Zona " + std::to_string(z) + " ----",
                                             std::to_string(points.size()), std::to_string(code)});
    for (std::size_t p = 0; p < points.size(); ++p) {
      golden.report.zones.back().points.push_back(kPoints[points[p]]);
      golden.lines.push_back("---- Punto " + std::to_string(p) + " ----");
      std::istringstream values(kPointLines[points[p]]);
      for (std::string value; values >> value;) golden.lines.push_back(value);
    }
  }
  golden.lines.push_back("---- Parametri aggiuntivi ----");
  golden.lines.insert(golden.lines.end(), trailer.begin(), trailer.end());
  return golden;
}

// A point calibration with the report's defaults: texts "?", language 0, no bar length.
Golden PointCalibration() {
  return MakeGolden({{ZoneType::Point, 1, {0, 1, 2}}},
                    {"?", "?", "?", "?", "?", "?", "0", "0", "0.000000", "0.000000", "0.000000"});
}

// A ball bar with texts typed, one of them over two lines, in Italian.
Golden BallBar() {
  Golden golden = MakeGolden({{ZoneType::Point, 1, {1}}, {ZoneType::Bar, 2, {0, 2}}},
                             {"Rossi  Mario", "Bianchi", "01/02/2026", "31/01/2026", "?", "AB12",
                              "1", "0", "0.000000", "500.250000", "0.000000"});
  golden.report.texts = {"Rossi\r\nMario", "Bianchi", "01/02/2026", "31/01/2026", "?", "AB12"};
  golden.report.language = kItalian;
  golden.report.barLength = 500.25;
  return golden;
}

// Three head lines, then for the zone of 3 points its 3 lines and 15 lines per point, then the
// 12 lines of the trailer.
constexpr int kPointCalibrationLines = 3 + 3 + 3 * 15 + 12;

TEST(ReportFile, WritesTheDocumentedBytesAndReadsThemBack) {
  EXPECT_EQ(PointCalibration().lines.size(), std::size_t{kPointCalibrationLines});
  for (const Golden& golden : {PointCalibration(), BallBar()}) {
    Bytes bytes;
    ASSERT_EQ(SerializeReportFile(golden.report, bytes), ReportError::None);
    const Bytes expected = Assemble(golden.lines);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              std::string(expected.begin(), expected.end()));

    ReportFile read;
    ASSERT_EQ(ParseReportFile(expected, read), ReportError::None);
    EXPECT_EQ(read.tab.main, golden.report.tab.main);
    EXPECT_EQ(read.language, golden.report.language);
    EXPECT_EQ(read.barLength, golden.report.barLength);
    Bytes again;
    ASSERT_EQ(SerializeReportFile(read, again), ReportError::None);
    EXPECT_EQ(again, expected);
  }
  ReportFile ballBar;
  ASSERT_EQ(ParseReportFile(Assemble(BallBar().lines), ballBar), ReportError::None);
  ASSERT_EQ(ballBar.zones.size(), 2u);
  EXPECT_EQ(ballBar.zones[1].type, ZoneType::Bar);
  EXPECT_EQ(ballBar.zones[1].points[0].position[2], 1.235);
  EXPECT_EQ(ballBar.zones[1].points[1].jointCounts[7], -8.0);
  EXPECT_EQ(ballBar.texts[0], "Rossi  Mario");
}

// What a caller held before a refused file: it must stay exactly so.
ReportFile Previous() {
  ReportFile report = PointCalibration().report;
  report.texts[4] = "previous";
  report.barLength = 123.0;
  return report;
}

void ExpectUnchanged(const ReportFile& report, const std::string& why) {
  const ReportFile previous = Previous();
  EXPECT_EQ(report.tab.main, previous.tab.main) << why;
  EXPECT_EQ(report.zones, previous.zones) << why;
  EXPECT_EQ(report.texts, previous.texts) << why;
  EXPECT_EQ(report.barLength, previous.barLength) << why;
}

TEST(ReportFile, ReaderRefusesEveryTruncationAndChangesNothing) {
  const Lines lines = BallBar().lines;
  const Bytes file = Assemble(lines);
  for (std::size_t size = 0; size < file.size(); ++size) {
    ReportFile report = Previous();
    ASSERT_NE(ParseReportFile(std::span(file.data(), size), report), ReportError::None) << size;
    ExpectUnchanged(report, std::to_string(size));
  }
  ReportFile report;
  ReportRefusal refusal;
  const std::size_t withoutLastLine = file.size() - lines.back().size() - 1;
  ParseReportFile(std::span(file.data(), withoutLastLine), report, &refusal);
  EXPECT_EQ(refusal.blockLine, static_cast<int>(lines.size())) << "the missing line is named";
}

TEST(ReportFile, ReaderNamesTheFirstLineNotAsWritten) {
  // The line of the ball-bar block at `line` (the section mark is 1) replaced by `text`.
  const struct {
    int line;
    std::string text;
  } cases[] = {
      {1, "Calibro"},               // wrong section mark
      {2, "4"},                     // another format version
      {3, "21"},                    // more zones than the file holds
      {3, "-1"},                    // fewer than none
      {4, "---- Zona 1 ----"},      // zones out of order
      {5, "1001"},                  // more points than a zone holds
      {5, "01"},                    // a count not as "%i" writes it
      {6, "6"},                     // no such zone type
      {9, "1000,000"},              // a decimal comma
      {9, "1000.0"},                // another count of decimals
      {9, "+1000.000"},             // forms printf never writes
      {9, "1e3"},                   //
      {9, "nan"},                   //
      {9, " 1000.000"},             //
      {14, "5.0"},                  // a joint count with decimals
      {14, std::string(400, '9')},  // past the largest double
      {58, "Rossi\r"},              // a carriage return in a text
      {62, "2147483648"},           // a language past a 32-bit integer
      {63, "1"},                    // the further values are always 0
      {65, "500.25"},               // the bar length in another form
      {67, ""},                     // a line past the end
  };
  for (const auto& c : cases) {
    Lines lines = BallBar().lines;
    lines.resize(std::max<std::size_t>(lines.size(), c.line));
    lines[c.line - 1] = c.text;
    ReportFile report = Previous();
    ReportRefusal refusal;
    EXPECT_EQ(ParseReportFile(Assemble(lines), report, &refusal), ReportError::BadBlock) << c.text;
    EXPECT_EQ(refusal.blockLine, c.line) << c.text;
    ExpectUnchanged(report, c.text);
  }

  Bytes file = Assemble(PointCalibration().lines);
  file[1] = '5';  // "t54": written by later software
  ReportFile report = Previous();
  ReportRefusal refusal;
  EXPECT_EQ(ParseReportFile(file, report, &refusal), ReportError::BadTab);
  EXPECT_EQ(refusal.tab, TabError::LaterVersion);
  ExpectUnchanged(report, "later TAB version");
}

TEST(ReportFile, WriterRefusesWhatCannotBeWrittenAndKeepsThePreviousFile) {
  const std::vector<std::pair<std::string, std::function<void(ReportFile&)>>> cases = {
      {"21 zones", [](ReportFile& r) { r.zones.resize(kMaxReportZones + 1); }},
      {"1001 points", [](ReportFile& r) { r.zones[0].points.resize(kMaxZonePoints + 1); }},
      {"zone type 6", [](ReportFile& r) { r.zones[0].type = static_cast<ZoneType>(6); }},
      {"infinite count", [](ReportFile& r) { r.zones[0].points[1].jointCounts[3] = INFINITY; }},
      {"no bar length", [](ReportFile& r) { r.barLength = NAN; }},
  };
  const testing::ScopedConfigDir folder("report_file_test");
  const auto path = folder.path() / "acquisition.rep";
  const Golden golden = PointCalibration();
  ASSERT_EQ(WriteReportFile(path, golden.report), ReportError::None);
  for (const auto& [name, change] : cases) {
    ReportFile report = golden.report;
    change(report);
    Bytes bytes{1, 2, 3};
    EXPECT_EQ(SerializeReportFile(report, bytes), ReportError::BadBlock) << name;
    EXPECT_TRUE(bytes.empty()) << name;
    EXPECT_EQ(WriteReportFile(path, report), ReportError::BadBlock) << name;
  }
  ReportFile badTab = golden.report;
  badTab.tab.main.jointCount = kMaxJoints + 1;
  EXPECT_EQ(WriteReportFile(path, badTab), ReportError::BadTab);
  EXPECT_EQ(ReadWholeFile(path), Assemble(golden.lines));
  EXPECT_EQ(WriteReportFile(folder.path() / "none" / "a.rep", golden.report),
            ReportError::FileError);
  ReportFile read;
  EXPECT_EQ(ReadReportFile(folder.path() / "none.rep", read), ReportError::FileError);
  EXPECT_EQ(ReadReportFile(path, read), ReportError::None);
  EXPECT_EQ(read.zones[0].points.size(), 3u);
}

}  // namespace
}  // namespace pilvo
