#include "session/arm_session.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "data/settings.h"
#include "measure/kinematics.h"
#include "platform/atomic_file.h"
#include "session/arm_initialisation.h"
#include "session/tab_reading.h"

namespace pilvo {
namespace {

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

UsbDeviceChooser DeviceChooserOf(Prompts& ui) {
  const auto show = [&ui](MessageIcon icon) {
    return [&ui, icon](const std::string& text) { ui.ShowMessage(text, kLibraryCaption, icon); };
  };
  return {.choose =
              [&ui](const std::string& title, const std::vector<std::string>& identifiers) {
                return ui.ChooseFromList(title, identifiers);
              },
          .showNotFound = show(MessageIcon::Information),
          .showLoadFailure = show(MessageIcon::Error)};
}

void CopyRecord(ArmRecord& destination, const ArmRecord& source) {
  const std::array<double, 3> kept = destination.referenceTemperatures;
  destination = source;
  destination.referenceTemperatures = kept;
}

ArmSession::ArmSession(const ProductContext& context, OperatorPorts ports, MillisecondClock clock)
    : context_(context),
      prompts_(ports.prompts),
      display_(ports.display),
      dialogs_(ports.dialogs),
      profileStore_(context.profileStore()),
      clock_(std::move(clock)),
      link_(state_.working, context, DeviceChooserOf(prompts_)),
      board_(link_, state_.working, state_.tables) {
  link_.SetCloseListener([this] {
    state_.tabLoaded = false;
    state_.armReady = false;
    state_.reading.lastTaken.Forget();
    Notify([](SessionObserver& observer) { observer.ArmDisconnected(); });
    // The wizard has no tray or battery window to tell.
    if (!context_.isLibrary()) return;
    display_.ArmDisconnected();
    if (state_.working.batteryPresent > 0) display_.ResetBatteryDisplay();
  });
  // Where the board gives no temperature, readings need the ambient one even before the first
  // initialisation.
  state_.working.ambientTemperature = StoredAmbientTemperature(profileStore_);
}

void ArmSession::SelectProbe(std::int32_t probe) {
  state_.toolInUse = probe;
  NotifyProbeChanged();
}

void ArmSession::SetProbesDialogOpen(bool open) {
  state_.reading.probesDialogOpen = open;
  if (!open) state_.reading.dialogButtonMask = 0;
}

void ArmSession::MarkClientSession() {
  state_.tracker.clientSession = 1;
}

void ArmSession::AddObserver(SessionObserver& observer) {
  if (std::find(observers_.begin(), observers_.end(), &observer) == observers_.end()) {
    observers_.push_back(&observer);
  }
}

void ArmSession::RemoveObserver(SessionObserver& observer) {
  std::erase(observers_, &observer);
}

void ArmSession::NotifyConnected() {
  Notify([](SessionObserver& observer) { observer.ArmConnected(); });
}

void ArmSession::NotifyProbeChanged() {
  Notify([](SessionObserver& observer) { observer.ProbeChanged(); });
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
  if (text.size() > kMaxTabPath) return fail(session_result::kTabUnreadable);
  const auto bytes = ReadWholeFile(path);
  if (!bytes) return fail(session_result::kTabUnreadable);

  // The file is read over the working record, so fields its version lacks keep their values.
  TabContents contents = state_.tab;
  contents.main = state_.working;
  if (ReadTabFile(*bytes, contents, context_, prompts_) < 0)
    return fail(session_result::kTabRejected);
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
