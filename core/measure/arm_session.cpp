#include "measure/arm_session.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "data/settings.h"
#include "measure/kinematics.h"
#include "platform/atomic_file.h"

namespace pilvo {
namespace {

// tabPath is a 264-byte field: a path of at most 259 characters.
constexpr std::size_t kMaxTabPath = 259;

std::string ProfileStoreOf(SessionVariant variant) {
  return std::string(variant == SessionVariant::Library ? kLibraryProfileStore
                                                        : kWizardProfileStore);
}

LinkVariant LinkVariantOf(SessionVariant variant) {
  return variant == SessionVariant::Library ? LinkVariant::Library : LinkVariant::Wizard;
}

TabReaderVariant ReaderVariantOf(SessionVariant variant) {
  return variant == SessionVariant::Library ? TabReaderVariant::Library : TabReaderVariant::Wizard;
}

bool HasLimits(const ArmRecord& record) {
  return std::any_of(
      record.jointLimits.begin(), record.jointLimits.end(),
      [](const JointLimit& limit) { return limit.minimum != 0.0 || limit.maximum != 0.0; });
}

}  // namespace

std::uint32_t SteadyMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void CopyRecord(ArmRecord& destination, const ArmRecord& source) {
  const std::array<double, 3> kept = destination.referenceTemperatures;
  destination = source;
  destination.referenceTemperatures = kept;
}

ArmSession::ArmSession(SessionVariant variant, OperatorInterface& ui, MillisecondClock clock)
    : variant_(variant),
      ui_(ui),
      profileStore_(ProfileStoreOf(variant)),
      clock_(std::move(clock)),
      link_(state_.working, ui, profileStore_, LinkVariantOf(variant)),
      board_(link_, state_.working, state_.tables) {
  link_.SetCloseListener([this] {
    state_.tabLoaded = false;
    state_.armReady = false;
    state_.reading.lastTaken.Forget();
  });
}

int ArmSession::LeggeParametri(const std::filesystem::path& path) {
  state_.toolInUse = 0;
  board_.BuildSerialRequest(0);
  const auto fail = [this](int code) {
    state_.tabPath.clear();
    link_.ChiudePorta();
    return code;
  };
  const std::string text = path.string();
  if (text.size() > kMaxTabPath) return fail(-1);
  const auto bytes = ReadWholeFile(path);
  if (!bytes) return fail(-1);

  // The file is read over the working record, so fields its version lacks keep their values.
  TabContents contents = state_.tab;
  contents.main = state_.working;
  if (ReadTabFile(*bytes, contents, ReaderVariantOf(variant_), ui_) < 0) return fail(-2);
  state_.working = std::move(contents.main);
  state_.tab.probes = std::move(contents.probes);
  state_.tab.version = contents.version;
  state_.tabLoaded = true;

  DeriveTables();
  if (HasLimits(state_.tab.main)) state_.limitsConfigured = true;
  state_.tabPath = text;
  return 0;
}

void ArmSession::DeriveTables() {
  ArmRecord& working = state_.working;
  CopyRecord(state_.tab.main, working);
  board_.BuildSerialRequest(0);
  state_.countsPerDegree = CountsPerDegree(working);
  state_.tables = DeriveJointTables(working);
  state_.rawCounts.fill(0);
  state_.jointCounts.fill(0.0);
  state_.reading.lastTaken.Forget();
  state_.tracker.ClearRing();
  working.referenceTemperatures = UnpackReferenceTemperatures(working.referenceTemperaturesPacked);
}

}  // namespace pilvo
