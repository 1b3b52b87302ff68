// Any bytes as a report file: a refused file changes nothing, and an accepted one writes back
// as its TAB data followed by the very same text block, which reads back as the same report.
//
// Input: the file. Numbers are read and written under a decimal-comma locale.
#include <algorithm>

#include "comma_locale.h"
#include "data/report_file.h"
#include "fuzz_check.h"

namespace {

using namespace pilvo;
using fuzz::Check;

// What a caller held before the parse: a refused file must leave it exactly so.
ReportFile Previous() {
  ReportFile report;
  report.tab.main.name = "previous";
  report.zones.resize(2);
  report.zones[1].points.resize(3);
  report.texts[0] = "previous";
  report.language = 2;
  report.barLength = 250.0;
  return report;
}

// Everything the text block carries.
bool SameBlock(const ReportFile& a, const ReportFile& b) {
  return a.zones == b.zones && a.texts == b.texts && a.language == b.language &&
         a.barLength == b.barLength;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UseCommaLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span input(data, size);
  const ReportFile previous = Previous();
  ReportFile report = previous;
  if (ParseReportFile(input, report) != ReportError::None) {
    Check(SameBlock(report, previous) && report.tab.main == previous.tab.main,
          "a refused file changes nothing");
    return 0;
  }
  TabContents tab;
  std::size_t tabLength = 0;
  Check(ParseLeadingTabFile(input, tab, tabLength) == TabError::None, "the TAB data is accepted");
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> tabBytes;
  Check(SerializeReportFile(report, bytes) == ReportError::None &&
            SerializeTabFile(report.tab, tabBytes) == TabWriteError::None,
        "what is read can be written");
  const auto block = input.subspan(tabLength);
  Check(bytes.size() - tabBytes.size() == block.size() &&
            std::equal(block.begin(), block.end(), bytes.begin() + tabBytes.size()),
        "the text block writes back byte for byte");
  ReportFile again;
  Check(ParseReportFile(bytes, again) == ReportError::None && SameBlock(again, report),
        "what is written reads back as the same report");
  return 0;
}
