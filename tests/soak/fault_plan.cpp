#include "soak/fault_plan.h"

#include <algorithm>

namespace pilvo::soak {
namespace {

constexpr int kMinimumGap = 2;
// A failed USB reading spends two spoilt replies (the reading and the release of the close) and
// the device chooser of the reopening a third, all without failing the reset: only longer
// bursts reach the reset's own exchanges.
constexpr int kLongestBurst = 5;
constexpr int kMostDeadResets = 3;

bool EndsByItself(Disturbance kind) {
  return kind != Disturbance::Unplug && kind != Disturbance::PortLost;
}

}  // namespace

std::string_view NameOf(Disturbance kind) {
  switch (kind) {
    case Disturbance::Silence:
      return "silence";
    case Disturbance::ShortReply:
      return "short reply";
    case Disturbance::WrongEcho:
      return "wrong echo";
    case Disturbance::CorruptBytes:
      return "corrupt bytes";
    case Disturbance::Unplug:
      return "unplug";
    case Disturbance::PortLost:
      return "port lost";
  }
  return "?";
}

std::string_view NameOf(SoakLink link) {
  return link == SoakLink::Serial ? "serial" : "usb";
}

std::vector<Disturbance> DisturbancesOf(SoakLink link) {
  std::vector<Disturbance> kinds(kDisturbances.begin(), kDisturbances.end());
  if (link == SoakLink::Usb) std::erase(kinds, Disturbance::PortLost);
  return kinds;
}

bool PassesLinkChecks(SoakLink link, Disturbance kind) {
  return kind == Disturbance::CorruptBytes ||
         (kind == Disturbance::WrongEcho && link == SoakLink::Serial);
}

std::set<std::int32_t> ReadingCodesFor(SoakLink link, Disturbance kind) {
  if (PassesLinkChecks(link, kind)) return {0, link == SoakLink::Serial ? -2 : -12};
  if (link == SoakLink::Serial) return {-2};
  return {kind == Disturbance::WrongEcho ? -12 : -11};
}

std::set<std::int32_t> ResetCodesFor(SoakLink link, Disturbance kind) {
  if (link == SoakLink::Usb || kind == Disturbance::PortLost) return {-1};
  return {-2};
}

FaultSchedule::FaultSchedule(SoakLink link, std::uint32_t seed, double rate)
    : link_(link),
      rate_(rate),
      random_(seed),
      round_(DisturbancesOf(link)),
      nextInRound_(round_.size()),
      readingsToFault_(Gap()) {}

int FaultSchedule::Gap() {
  if (rate_ <= 0.0) return -1;
  return kMinimumGap + std::geometric_distribution<int>(rate_)(random_);
}

std::optional<PlannedFault> FaultSchedule::Next() {
  if (readingsToFault_ < 0 || --readingsToFault_ > 0) return std::nullopt;
  readingsToFault_ = Gap();
  if (nextInRound_ == round_.size()) {
    std::shuffle(round_.begin(), round_.end(), random_);
    nextInRound_ = 0;
  }
  PlannedFault fault;
  fault.kind = round_[nextInRound_++];
  if (!EndsByItself(fault.kind)) {
    fault.deadResets = std::uniform_int_distribution<int>(1, kMostDeadResets)(random_);
  } else if (!PassesLinkChecks(link_, fault.kind)) {
    fault.replies = std::uniform_int_distribution<int>(1, kLongestBurst)(random_);
  }
  return fault;
}

}  // namespace pilvo::soak
