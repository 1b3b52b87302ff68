#include "tool_command.h"

#include <iostream>

#include "data/product_context.h"
#include "platform/atomic_file.h"

namespace pilvo {
namespace {

constexpr int kTextLaterVersion = 1999;
constexpr int kTextNotValid = 2001;

}  // namespace

Language LanguageAtStart() {
  ProductContext context = ContextFromEnvironment(Program::Library);
  context.SelectLanguageAtStart();
  return context.language();
}

CLI::App* AddFileCommand(CLI::App& app, const std::string& name, const std::string& description,
                         std::string& input, const std::string& fileKind) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("file", input, fileKind)->required();
  return command;
}

void SaveText(const std::string& path, const std::string& text) {
  if (path.empty() || path == "-") {
    std::cout << text;
  } else if (WriteFileAtomically(path, text)) {
    throw CommandError(path + ": cannot be written");
  }
}

std::string TabRefusalText(TabError error, const Language& language) {
  return LocalText(error == TabError::LaterVersion ? kTextLaterVersion : kTextNotValid, language);
}

int RunCommand(std::string_view tool, const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    // Anything unforeseen too (a text of a file that JSON cannot carry, memory) ends the program
    // with its message rather than with an abort.
    std::cerr << tool << ": " << error.what() << '\n';
    return 1;
  }
  // A full disk behind standard output must not pass for success.
  if (!(std::cout << std::flush)) {
    std::cerr << tool << ": standard output cannot be written\n";
    return 1;
  }
  return 0;
}

}  // namespace pilvo
