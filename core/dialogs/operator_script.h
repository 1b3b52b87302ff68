// The answers of the scripted operator, and the script file they are read from: one answer a
// line, taken in order by the requests of its kind; blank lines and lines starting with "#" are
// skipped.
//   yes | no                      the next confirmation
//   choice N | choice cancel      the next list: line N (from 0), or Cancel
//   file PATH | file cancel       the next open-file dialog; PATH is the rest of the line
//   temperature N                 the next temperature dialog: N degrees C, 0 to 40
//   reset run N                   the next reset dialog: at most N timer ticks, then Cancel
//   reset cancel                  the next reset dialog: Cancel before its first tick
//   alignment run N               the next alignment dialog: at most N ticks, then Cancel
//   alignment cancel              the next alignment dialog: Cancel before its first tick
//   alignment reuse               the next alignment dialog: its reuse button before the first
//                                 tick (Cancel when the dialog does not offer it)
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace pilvo {

// A minute of a real dialog's 100 ms timer.
inline constexpr int kDefaultDialogTicks = 600;

// How one reset or alignment dialog is run: at most `ticks` timer ticks, then, if it is still
// open, `end` (a reset dialog has no reuse button: Cancel).
struct DialogRun {
  enum class End { Cancel, Reuse };
  int ticks = kDefaultDialogTicks;
  End end = End::Cancel;
};

struct OperatorScript {
  std::vector<bool> answers;
  std::vector<std::optional<std::size_t>> choices;
  std::vector<std::optional<std::filesystem::path>> files;
  std::vector<std::int32_t> temperatures;
  std::vector<DialogRun> resets;
  std::vector<DialogRun> alignments;
};

// The script in `in`, or nothing with `error` naming the first line not understood.
std::optional<OperatorScript> ParseOperatorScript(std::istream& in, std::string& error);

}  // namespace pilvo
