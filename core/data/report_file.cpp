#include "data/report_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "data/number_text.h"
#include "platform/atomic_file.h"

namespace pilvo {
namespace {

constexpr std::string_view kSectionMark = "Calibra";
constexpr std::string_view kTrailerHeader = "---- Parametri aggiuntivi ----";
constexpr int kLastZoneType = static_cast<int>(ZoneType::Fork);
// "%.3f" for coordinates and temperatures, "%.0f" for joint counts, "%f" for the trailer.
constexpr int kMeasureDecimals = 3;
constexpr int kCountDecimals = 0;
constexpr int kTrailerDecimals = 6;

// The text printf's "%i" gives: no locale changes it.
std::string IntegerText(int value) {
  return std::to_string(value);
}

std::string SectionHeader(std::string_view section, std::size_t index) {
  return "---- " + std::string(section) + " " + std::to_string(index) + " ----";
}

// The text block, one item per line, walked alike by the writer and by the reader so that the
// two cannot drift apart. `Block` is BlockWriter with a const report or BlockReader.
template <typename Block, typename Report>
void WalkBlock(Block& block, Report& report) {
  block.Line(kSectionMark);
  block.Line(IntegerText(kReportFormatVersion));
  block.Count(report.zones, kMaxReportZones);
  for (std::size_t z = 0; z < report.zones.size() && block.ok(); ++z) {
    auto& zone = report.zones[z];
    block.Line(SectionHeader("Zona", z));
    block.Count(zone.points, kMaxZonePoints);
    block.Type(zone.type);
    for (std::size_t p = 0; p < zone.points.size() && block.ok(); ++p) {
      auto& point = zone.points[p];
      block.Line(SectionHeader("Punto", p));
      for (auto& value : point.position) block.Number(value, kMeasureDecimals);
      for (auto& value : point.temperatures) block.Number(value, kMeasureDecimals);
      for (auto& value : point.jointCounts) block.Number(value, kCountDecimals);
    }
  }
  block.Line(kTrailerHeader);
  for (auto& text : report.texts) block.Text(text);
  block.Integer(report.language);
  // Three further values that are always 0.
  block.Line(IntegerText(0));
  block.Line(FixedText(0.0, kTrailerDecimals));
  block.Number(report.barLength, kTrailerDecimals);
  block.Line(FixedText(0.0, kTrailerDecimals));
}

class BlockWriter {
 public:
  bool ok() const { return ok_; }
  const std::string& text() const { return text_; }

  void Line(std::string_view line) {
    text_ += '\n';
    text_ += line;
  }
  void Integer(int value) { Line(IntegerText(value)); }
  void Number(double value, int decimals) {
    // "nan" or "inf" would not read back as a number.
    if (!std::isfinite(value)) ok_ = false;
    Line(FixedText(value, decimals));
  }
  void Text(std::string text) { Line(OneLineText(std::move(text))); }
  template <typename T>
  void Count(const std::vector<T>& items, int limit) {
    if (items.size() > static_cast<std::size_t>(limit)) {
      ok_ = false;
      return;
    }
    Integer(static_cast<int>(items.size()));
  }
  void Type(ZoneType type) {
    const int value = static_cast<int>(type);
    if (value < 0 || value > kLastZoneType) ok_ = false;
    Integer(value);
  }

 private:
  std::string text_;
  bool ok_ = true;
};

// Takes each line only as the writer forms it: a number in another form (another count of
// decimals, a "+", leading zeros, an exponent) would not write back the same.
class BlockReader {
 public:
  explicit BlockReader(std::string_view block) : rest_(block) {}

  bool ok() const { return ok_; }
  int line() const { return line_; }
  // Whether the block has been taken whole and ends there.
  bool Finish() {
    if (ok_ && !rest_.empty()) Fail(line_ + 1);
    return ok_;
  }

  void Line(std::string_view expected) {
    std::string_view line;
    if (Next(line) && line != expected) Fail(line_);
  }
  void Integer(int& value) {
    std::string_view line;
    if (!Next(line)) return;
    int parsed = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), parsed);
    if (error != std::errc{} || end != line.data() + line.size() || IntegerText(parsed) != line) {
      Fail(line_);
      return;
    }
    value = parsed;
  }
  void Number(double& value, int decimals) {
    std::string_view line;
    if (!Next(line)) return;
    double parsed = 0.0;
    const auto [end, error] =
        std::from_chars(line.data(), line.data() + line.size(), parsed, std::chars_format::fixed);
    if (error != std::errc{} || end != line.data() + line.size() || !std::isfinite(parsed) ||
        FixedText(parsed, decimals) != line) {
      Fail(line_);
      return;
    }
    value = parsed;
  }
  void Text(std::string& text) {
    std::string_view line;
    if (!Next(line)) return;
    if (line.find('\r') != std::string_view::npos) {
      Fail(line_);
      return;
    }
    text = line;
  }
  template <typename T>
  void Count(std::vector<T>& items, int limit) {
    int count = 0;
    if (WholeNumberUpTo(limit, count)) items.resize(static_cast<std::size_t>(count));
  }
  void Type(ZoneType& type) {
    int value = 0;
    if (WholeNumberUpTo(kLastZoneType, value)) type = static_cast<ZoneType>(value);
  }

 private:
  bool WholeNumberUpTo(int limit, int& value) {
    int parsed = -1;
    Integer(parsed);
    if (ok_ && (parsed < 0 || parsed > limit)) Fail(line_);
    if (ok_) value = parsed;
    return ok_;
  }
  // The next line: a line feed, then everything up to the next one or the end.
  bool Next(std::string_view& line) {
    if (!ok_) return false;
    if (rest_.empty() || rest_.front() != '\n') {
      Fail(line_ + 1);
      return false;
    }
    ++line_;
    rest_.remove_prefix(1);
    line = rest_.substr(0, rest_.find('\n'));
    rest_.remove_prefix(line.size());
    return true;
  }
  void Fail(int line) {
    ok_ = false;
    line_ = line;
  }

  std::string_view rest_;
  int line_ = 0;
  bool ok_ = true;
};

ReportError Outcome(ReportRefusal* refusal, ReportError error, ReportRefusal where) {
  if (refusal != nullptr) *refusal = where;
  return error;
}

}  // namespace

std::string OneLineText(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return text;
}

ReportError SerializeReportFile(const ReportFile& report, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::vector<std::uint8_t> file;
  if (SerializeTabFile(report.tab, file) != TabWriteError::None) return ReportError::BadTab;
  BlockWriter block;
  WalkBlock(block, report);
  if (!block.ok()) return ReportError::BadBlock;
  file.insert(file.end(), block.text().begin(), block.text().end());
  bytes = std::move(file);
  return ReportError::None;
}

ReportError WriteReportFile(const std::filesystem::path& path, const ReportFile& report) {
  std::vector<std::uint8_t> bytes;
  const ReportError error = SerializeReportFile(report, bytes);
  if (error != ReportError::None) return error;
  return WriteFileAtomically(path, bytes) ? ReportError::FileError : ReportError::None;
}

ReportError ParseReportFile(std::span<const std::uint8_t> bytes, ReportFile& report,
                            ReportRefusal* refusal) {
  // A report describes itself: nothing of an earlier one carries over.
  ReportFile parsed;
  std::size_t tabLength = 0;
  const TabError tab = ParseLeadingTabFile(bytes, parsed.tab, tabLength);
  if (tab != TabError::None) return Outcome(refusal, ReportError::BadTab, {.tab = tab});
  const auto rest = bytes.subspan(tabLength);
  BlockReader block(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
  WalkBlock(block, parsed);
  if (!block.Finish()) {
    return Outcome(refusal, ReportError::BadBlock, {.blockLine = block.line()});
  }
  report = std::move(parsed);
  return Outcome(refusal, ReportError::None, {});
}

ReportError ReadReportFile(const std::filesystem::path& path, ReportFile& report,
                           ReportRefusal* refusal) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) return Outcome(refusal, ReportError::FileError, {});
  return ParseReportFile(*bytes, report, refusal);
}

}  // namespace pilvo
