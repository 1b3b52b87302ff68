// pilvo-rep: inspects the report files of points acquisitions and converts them to JSON or CSV.
#include <CLI/CLI.hpp>
#include <iostream>

#include "report_csv.h"
#include "report_json.h"
#include "report_summary.h"
#include "tool_command.h"

namespace pilvo {
namespace {

ReportFile LoadReport(const std::string& path, const Language& language) {
  ReportFile report;
  ReportRefusal refusal;
  switch (ReadReportFile(path, report, &refusal)) {
    case ReportError::None:
      return report;
    case ReportError::FileError:
      throw CommandError(path + ": cannot be read");
    case ReportError::BadTab:
      throw CommandError(path + ": the arm's TAB data: " + TabRefusalText(refusal.tab, language));
    case ReportError::BadBlock:
      break;
  }
  throw CommandError(path + ": not a report file: line " + std::to_string(refusal.blockLine) +
                     " of its text block is missing or not as a report file holds it");
}

}  // namespace
}  // namespace pilvo

int main(int argc, char** argv) {
  using namespace pilvo;
  const Language language = LanguageAtStart();
  CLI::App app{"Inspects and converts Pilvo3D report files (.rep) of point and ball-bar tests."};
  app.require_subcommand(1);

  std::string input;
  std::string output;

  auto* show = AddFileCommand(app, "show", "Print the arm, the zones and the report values", input,
                              "report file");
  auto* toJson =
      AddFileCommand(app, "to-json", "Convert a report file to JSON", input, "report file");
  toJson->add_option("-o,--output", output, "JSON file (standard output if absent)");

  auto* toCsv = AddFileCommand(app, "to-csv", "Write the points of a report file as CSV", input,
                               "report file");
  toCsv->add_option("-o,--output", output, "CSV file (standard output if absent)");

  CLI11_PARSE(app, argc, argv);
  return RunCommand("pilvo-rep", [&] {
    const ReportFile report = LoadReport(input, language);
    if (show->parsed()) {
      PrintReportSummary(std::cout, report, language);
    } else if (toJson->parsed()) {
      // The texts are the operator's bytes, not necessarily UTF-8.
      SaveText(output,
               ReportToJson(report).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) +
                   "\n");
    } else {
      SaveText(output, ReportToCsv(report));
    }
  });
}
