// pilvo-tab: inspects TAB files and converts them to and from JSON and between versions.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <fstream>
#include <iostream>

#include "platform/atomic_file.h"
#include "tab_conversion.h"
#include "tab_json.h"
#include "tab_summary.h"
#include "tool_command.h"

namespace pilvo {
namespace {

TabContents LoadTab(const std::string& path, const Language& language) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) throw CommandError(path + ": cannot be read");
  TabContents contents;
  const TabError error = ParseTabFile(*bytes, contents);
  if (error != TabError::None) throw CommandError(path + ": " + TabRefusalText(error, language));
  return contents;
}

TabContents LoadJson(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw CommandError(path + ": cannot be read");
  try {
    return TabFromJson(nlohmann::json::parse(in));
  } catch (const nlohmann::json::exception& error) {
    throw CommandError(path + ": " + error.what());
  } catch (const TabJsonError& error) {
    throw CommandError(path + ": " + error.what());
  }
}

int ParseVersion(const std::string& text) {
  std::array<char, 4> signature{};
  if (text.size() != 3) throw CommandError("\"" + text + "\" is not a TAB version");
  std::copy(text.begin(), text.end(), signature.begin());
  const SignatureVersion found = VersionOfSignature(signature);
  if (found.error != TabError::None) throw CommandError("\"" + text + "\" is not a TAB version");
  return found.version;
}

void SaveTab(const std::string& path, const TabContents& contents, bool lossy) {
  if (!lossy && !StoresWithoutLoss(contents)) {
    throw CommandError("version " + std::string(contents.main.signature.data(), 3) +
                       " cannot hold everything of this arm; use --lossy to convert anyway");
  }
  switch (WriteTabFile(path, contents)) {
    case TabWriteError::None:
      return;
    case TabWriteError::BadRecord:
      throw CommandError("the arm cannot be stored in a TAB file (counts or texts too large)");
    case TabWriteError::FileError:
      break;
  }
  throw CommandError(path + ": cannot be written");
}

}  // namespace
}  // namespace pilvo

int main(int argc, char** argv) {
  using namespace pilvo;
  const Language language = LanguageAtStart();
  CLI::App app{"Inspects and converts Pilvo3D TAB files."};
  app.require_subcommand(1);

  std::string input;
  std::string output;
  std::string version;
  bool lossy = false;

  auto* show = AddFileCommand(app, "show", "Print the main fields and the probes of a TAB file",
                              input, "TAB file");

  auto* toJson = AddFileCommand(app, "to-json", "Convert a TAB file to JSON", input, "TAB file");
  toJson->add_option("-o,--output", output, "JSON file (standard output if absent)");

  auto* fromJson =
      AddFileCommand(app, "from-json", "Convert JSON to a TAB file", input, "JSON file");
  fromJson->add_option("-o,--output", output, "TAB file")->required();
  fromJson->add_option("-V,--version", version,
                       "TAB version to write (tab, ta2, ta3, t40 … t44); the JSON's own if absent");
  fromJson->add_flag("--lossy", lossy, "Write even if the version drops fields of the arm");

  auto* upgrade = AddFileCommand(app, "upgrade", "Convert a TAB file to the current version t44",
                                 input, "TAB file");
  upgrade->add_option("-o,--output", output, "TAB file to write (the input if absent)");

  CLI11_PARSE(app, argc, argv);
  return RunCommand("pilvo-tab", [&] {
    if (show->parsed()) {
      PrintTabSummary(std::cout, LoadTab(input, language));
    } else if (toJson->parsed()) {
      SaveText(output, TabToJson(LoadTab(input, language)).dump(2) + "\n");
    } else if (fromJson->parsed()) {
      const TabContents contents = LoadJson(input);
      SaveTab(output, version.empty() ? contents : WithVersion(contents, ParseVersion(version)),
              lossy);
    } else if (upgrade->parsed()) {
      SaveTab(output.empty() ? input : output,
              WithVersion(LoadTab(input, language), kCurrentTabVersion), false);
    }
  });
}
