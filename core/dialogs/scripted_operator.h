// The operator of the tests: records every request and answers from a script. The displays
// that a reading refreshes keep counters and their last values instead of request records, so
// that a reading stays free of allocations.
//
// The reset and alignment dialogs run their models at once, without waiting for a timer: a tick
// hook, called before every tick, lets a test move the arm or press its buttons between ticks.
// Each dialog takes the next scripted DialogRun (by default kDefaultDialogTicks ticks, then
// Cancel); the temperature dialog the next scripted temperature (by default the one it was
// opened with).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/operator.h"
#include "dialogs/operator_script.h"

namespace pilvo {

class ScriptedOperator : public Operator {
 public:
  struct Request {
    enum class Kind {
      Message,
      YesNo,
      Choice,
      FileChoice,
      Connected,  // text: the probe tooltip
      Disconnected,
      BatteryReset,
      Reset,        // the reset dialog; text: its instruction
      Temperature,  // the temperature dialog; text: its question
      Alignment,    // the alignment dialog; text: its instructions
      Beep
    } kind;
    std::string text;     // FileChoice: the folder
    std::string caption;  // FileChoice: the filter; the dialogs: their title
    MessageIcon icon;
  };

  struct LimitsWarning {
    int shows = 0;
    int updates = 0;
    int hides = 0;
    bool visible = false;
    std::uint32_t lastMask = 0;
    std::array<double, kMaxJoints> lastAngles{};
    std::size_t angleCount = 0;
  };

  struct SupplyDisplay {
    int refreshes = 0;
    SupplyReading last;
  };

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  // The next scripted answer, or No when the script is exhausted.
  bool AskYesNo(std::string_view text, std::string_view caption) override;

  // The next scripted choice; OK on the first line when the script is exhausted.
  std::optional<std::size_t> ChooseFromList(std::string_view title,
                                            const std::vector<std::string>& lines) override;
  // The next scripted file; Cancel when the script is exhausted.
  std::optional<std::filesystem::path> ChooseFileToOpen(
      std::string_view filter, std::string_view defaultExtension,
      const std::filesystem::path& folder) override;
  void ArmConnected(std::string_view probeTooltip) override;
  void ArmDisconnected() override;
  void ResetBatteryDisplay() override;
  void RefreshSupplyDisplay(const SupplyReading& supply, const ArmRecord& record) override;
  void ShowLimitsWarning() override;
  void UpdateLimitsWarning(std::uint32_t outMask, std::span<const double> angles) override;
  void HideLimitsWarning() override;
  void RunResetDialog(ResetProcedure& procedure) override;
  void RunTemperatureDialog(TemperatureChoice& choice) override;
  void RunAlignmentDialog(AlignmentProcedure& procedure) override;
  void Beep() override;

  // Appends the answers of a script, each to the requests of its kind.
  void AddScript(const OperatorScript& script);

  void ScriptAnswer(bool yes) { answers_.push_back(yes); }
  void ScriptChoice(std::optional<std::size_t> line) { choices_.push_back(line); }
  void ScriptFile(std::optional<std::filesystem::path> file) { files_.push_back(std::move(file)); }
  void ScriptReset(DialogRun run) { resets_.push_back(run); }
  void ScriptAlignment(DialogRun run) { alignments_.push_back(run); }
  void ScriptTemperature(std::int32_t temperature) { temperatures_.push_back(temperature); }
  // Called with the tick's number (from 0) before every tick of a reset or alignment dialog.
  void SetTickHook(std::function<void(int tick)> hook) { tickHook_ = std::move(hook); }
  // The ticks the last reset or alignment dialog ran.
  int lastDialogTicks() const { return lastDialogTicks_; }
  // The lines offered by the last ChooseFromList.
  const std::vector<std::string>& lastChoiceLines() const { return lastChoiceLines_; }
  std::size_t CountOf(Request::Kind kind) const;
  const std::vector<Request>& requests() const { return requests_; }
  const LimitsWarning& limitsWarning() const { return limits_; }
  const SupplyDisplay& supplyDisplay() const { return supply_; }
  void Clear() { requests_.clear(); }

 private:
  std::vector<Request> requests_;
  std::deque<bool> answers_;
  std::deque<std::optional<std::size_t>> choices_;
  std::deque<std::optional<std::filesystem::path>> files_;
  std::deque<DialogRun> resets_;
  std::deque<DialogRun> alignments_;
  std::deque<std::int32_t> temperatures_;
  std::function<void(int)> tickHook_;
  int lastDialogTicks_ = 0;
  std::vector<std::string> lastChoiceLines_;
  LimitsWarning limits_;
  SupplyDisplay supply_;
};

}  // namespace pilvo
