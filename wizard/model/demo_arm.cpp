#include "wizard/model/demo_arm.h"

#include "data/tab_file.h"
#include "platform/atomic_file.h"

namespace pilvo::wizard {
namespace {

constexpr std::uint32_t kDemoSeed = 7;

}  // namespace

bool DemoArm::Attach(const std::filesystem::path& tab) {
  const auto bytes = ReadWholeFile(tab);
  TabContents contents;
  if (!bytes || ParseTabFile(*bytes, contents) != TabError::None) return false;
  // The link lets go of the arm it had before that arm goes.
  if (session_.link().IsOpen()) session_.link().ChiudePorta();
  sim::VirtualArmOptions options;
  options.referenced = false;
  auto arm = std::make_unique<sim::VirtualArm>(contents.main, options);
  auto transports = std::make_unique<sim::InProcessTransports>(*arm);
  session_.link().UseTransports(transports->serial, transports->usb);
  motion_ = std::make_unique<sim::DemoMotion>(*arm, kDemoSeed);
  transports_ = std::move(transports);
  arm_ = std::move(arm);
  return true;
}

void DemoArm::Step() {
  if (motion_) motion_->Step();
}

}  // namespace pilvo::wizard
