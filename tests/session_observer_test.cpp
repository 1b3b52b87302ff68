// What windows learn from the session without polling it.
#include <gtest/gtest.h>

#include "session/arm_initialisation.h"
#include "session/session_observer.h"
#include "sim_session_fixture.h"

namespace pilvo::testing {
namespace {

struct Events : SessionObserver {
  void ArmConnected() override { ++connected; }
  void ArmDisconnected() override { ++disconnected; }
  void ProbeChanged() override { ++probes; }
  void SupplyChanged() override { ++supplies; }
  void LimitsChanged(std::uint32_t mask) override { masks.push_back(mask); }
  int connected = 0, disconnected = 0, probes = 0, supplies = 0;
  std::vector<std::uint32_t> masks;
};

class SessionObserverTest : public SimSessionTest {};

TEST_F(SessionObserverTest, ObserversHearOfConnectionProbeSupplyLimitsAndClose) {
  wire_ = Wire::InProcess;
  Connect(PlainDemoTab("usb6_quaternion"), Link::Usb);
  Events events, removed;
  session_->AddObserver(events);
  session_->AddObserver(events);  // once is enough
  session_->AddObserver(removed);
  session_->RemoveObserver(removed);

  ASSERT_EQ(InitialiseArm(*session_, InitialiseMode::Connect), 0);
  EXPECT_EQ(events.connected, 1);
  session_->SelectProbe(0);
  EXPECT_EQ(events.probes, 1);

  const int supplies = events.supplies;
  ASSERT_TRUE(arm_->SetJointAngle(3, 170.0));
  EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);
  EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);  // the same joints out: no news
  ASSERT_TRUE(arm_->SetJointAngle(3, 0.0));
  EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);
  EXPECT_EQ(events.masks, (std::vector<std::uint32_t>{8u, 0u}));
  EXPECT_EQ(events.supplies - supplies, 3);

  session_->link().ChiudePorta();
  EXPECT_EQ(events.disconnected, 1);
  EXPECT_EQ(removed.connected + removed.disconnected + removed.probes + removed.supplies, 0);
  EXPECT_TRUE(removed.masks.empty());
}

}  // namespace
}  // namespace pilvo::testing
