// What the command-line tools do alike: how a command fails, where its text goes and how the
// program ends.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "data/local_text.h"
#include "data/tab_file.h"

namespace pilvo {

// A failure of a command, told to the user as it is.
class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The language of the texts: the one the settings name, else the locale's.
Language LanguageAtStart();

// A subcommand whose one argument, the file it reads, goes into `input`.
CLI::App* AddFileCommand(CLI::App& app, const std::string& name, const std::string& description,
                         std::string& input, const std::string& fileKind);

// Writes `text` to standard output when `path` is empty or "-", else replaces the file at `path`
// atomically. Throws CommandError when the file cannot be written.
void SaveText(const std::string& path, const std::string& text);

// Why a TAB file was refused, in the user's language.
std::string TabRefusalText(TabError error, const Language& language);

// Runs `command` and gives the program's exit status: 1, with "tool: message" on standard error,
// when it throws (a CommandError or anything else) or when standard output cannot be written,
// else 0.
int RunCommand(std::string_view tool, const std::function<void()>& command);

}  // namespace pilvo
