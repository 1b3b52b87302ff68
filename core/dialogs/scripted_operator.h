// The operator of the tests: records every request and answers from a script. The displays
// that a reading refreshes keep counters and their last values instead of request records, so
// that a reading stays free of allocations.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/operator_interface.h"

namespace pilvo {

class ScriptedOperator : public OperatorInterface {
 public:
  struct Request {
    enum class Kind {
      Message,
      YesNo,
      Choice,
      FileChoice,
      Connected,  // text: the probe tooltip
      Disconnected,
      BatteryReset
    } kind;
    std::string text;     // FileChoice: the folder
    std::string caption;  // FileChoice: the filter
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

  void ScriptAnswer(bool yes) { answers_.push_back(yes); }
  void ScriptChoice(std::optional<std::size_t> line) { choices_.push_back(line); }
  void ScriptFile(std::optional<std::filesystem::path> file) { files_.push_back(std::move(file)); }
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
  std::vector<std::string> lastChoiceLines_;
  LimitsWarning limits_;
  SupplyDisplay supply_;
};

}  // namespace pilvo
