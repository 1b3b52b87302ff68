// An arm session against the virtual arm, within this process or over a real pseudo-terminal
// and through the simulator flavour of the USB access library, with a scripted operator, a
// settable clock and a fresh settings folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include <Eigen/Core>

#include "data/product_context.h"
#include "data/tab_file.h"
#include "demo_arm.h"
#include "dialogs/scripted_operator.h"
#include "platform/atomic_file.h"
#include "scoped_config_dir.h"
#include "session/arm_session.h"
#include "sim/in_process_transport.h"
#include "sim/serial_server.h"
#include "sim/usb_server.h"
#include "sim/virtual_arm.h"

namespace pilvo::testing {

enum class Link { Serial, Usb };
// How the session reaches the arm: straight within this process, or as a client's would, over a
// device (the pseudo-terminal, the USB access library).
enum class Wire { InProcess, Device };

// A demo arm in the current version, without thermal compensation unless a test sets it: the
// virtual arm's truth is then the plain chain.
inline TabContents PlainDemoTab(const std::string& name) {
  TabContents contents = DemoTab(name);
  SignatureOfVersion(kCurrentTabVersion, contents.main.signature);
  contents.main.options.temperatureCompensation = false;
  return contents;
}

inline Eigen::Vector3d PositionOf(const Pose& pose) {
  return {pose[3], pose[7], pose[11]};
}

class SimSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string suite = ::testing::UnitTest::GetInstance()->current_test_suite()->name();
    folder_ = std::filesystem::temp_directory_path() / (suite + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    context_ = ContextOf(Program::Library);
  }
  void TearDown() override {
    Disconnect();
    std::filesystem::remove_all(folder_);
  }
  void Disconnect() {
    session_.reset();
    transports_.reset();
    serial_.reset();
    usb_.reset();
    arm_.reset();
  }

  std::filesystem::path Save(const TabContents& contents, const std::string& name) {
    const std::filesystem::path path = folder_ / name;
    EXPECT_EQ(WriteTabFile(path, contents), TabWriteError::None);
    return path;
  }

  // A session on a file of `contents`, with the virtual arm of that file served on `link` over
  // wire_.
  void Connect(TabContents contents, Link link, Program program = Program::Library) {
    contents.main.linkType = link == Link::Usb ? 1 : 0;
    Load(contents, program);
    arm_ = std::make_unique<sim::VirtualArm>(state().working, armOptions_);
    if (wire_ == Wire::InProcess) {
      transports_ = std::make_unique<sim::InProcessTransports>(*arm_);
      session_->link().UseTransports(transports_->serial, transports_->usb);
    } else if (link == Link::Serial) {
      serial_ = std::make_unique<sim::SerialSimServer>(*arm_);
      ASSERT_TRUE(serial_->Start());
      ASSERT_TRUE(session_->link().SetPortName(serial_->slavePath()));
    } else {
      ServeUsb({arm_.get()});
    }
  }

  // `arms` as the USB devices, in this order, for the simulator flavour of the USB access
  // library.
  void ServeUsb(std::vector<sim::VirtualArm*> arms) {
    usb_.reset();
    const std::filesystem::path socket = folder_ / "usb.sock";
    ::setenv("PILVO_SIM_USB_SOCKET", socket.c_str(), 1);
    usb_ = std::make_unique<sim::UsbSimServer>(std::move(arms), socket.string());
    ASSERT_TRUE(usb_->Start());
  }

  // A session on a file of `contents` without an arm behind it.
  void Load(const TabContents& contents, Program program = Program::Library) {
    Disconnect();
    context_ = ContextOf(program);
    session_ = std::make_unique<ArmSession>(context_, ui_.ports(), [this] { return now_; });
    ASSERT_EQ(session_->LeggeParametri(Save(contents, "arm.tab")), 0);
  }

  // A fresh context of `program` on the test's settings folder.
  ProductContext ContextOf(Program program) const {
    return ProductContext(program, folder_ / "config", kTestInstallation);
  }
  SettingsStore Store(std::string_view name) const { return context_.Store(name); }
  const Language& language() const { return context_.language(); }

  ArmSessionState& state() { return session_->state(); }
  void Hold(std::initializer_list<int> buttons) {
    for (int button = 1; button <= sim::kButtonCount; ++button) arm_->SetButton(button, false);
    for (int button : buttons) arm_->SetButton(button, true);
  }
  std::int32_t StatusWith(std::initializer_list<int> buttons) {
    Hold(buttons);
    EXPECT_EQ(session_->LeggeQuota(pose_, status_), 0);
    return status_;
  }
  void PassMarks(std::initializer_list<int> joints) {
    for (const int joint : joints) ASSERT_TRUE(arm_->PassReferenceMark(joint));
  }
  TabContents OnDisk() const {
    TabContents contents;
    const auto bytes = ReadWholeFile(session_->state().tabPath);
    EXPECT_TRUE(bytes && ParseTabFile(*bytes, contents) == TabError::None);
    return contents;
  }
  std::size_t Acknowledged() const { return arm_->observations().acknowledgedInputs.size(); }

  std::filesystem::path folder_;
  ProductContext context_ = ContextOf(Program::Library);
  ScriptedOperator ui_;
  std::uint32_t now_ = 1000;
  sim::VirtualArmOptions armOptions_;  // for the arm of the next Connect
  Wire wire_ = Wire::Device;           // for the next Connect
  std::unique_ptr<sim::VirtualArm> arm_;
  std::unique_ptr<sim::InProcessTransports> transports_;
  std::unique_ptr<sim::SerialSimServer> serial_;
  std::unique_ptr<sim::UsbSimServer> usb_;
  std::unique_ptr<ArmSession> session_;
  Pose pose_{};
  std::int32_t status_ = -1;
};

}  // namespace pilvo::testing
