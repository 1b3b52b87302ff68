// libpilvo.so as a measuring application uses it, loaded with dlopen, and the virtual arm it is
// driven against: a demo arm served by this process on the link its TAB file names, on a
// pseudo-terminal or through the simulator flavour of the USB access library. The arm's own
// forward kinematics (sim/forward_kinematics.h) give the truth that the readings are checked
// against.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "data/arm_record.h"
#include "demo_arm.h"
#include "pilvo.h"
#include "scoped_config_dir.h"
#include "sim/forward_kinematics.h"
#include "sim/serial_server.h"
#include "sim/usb_server.h"
#include "sim/virtual_arm.h"

namespace pilvo::testing {

// The exports as a client declares them: 32-bit integers and results, pointers to the caller's
// buffers.
struct PilvoExports {
  std::int32_t (*LeggeVersione)();
  std::int32_t (*AprePorta)(const char*);
  std::int32_t (*ChiudePorta)();
  std::int32_t (*LeggeParametri)(const char*);
  std::int32_t (*ResetEncoder)();
  std::int32_t (*LeggeQuota)(double*, std::int32_t*);
  std::int32_t (*LeggeQuota2)(double*, std::int32_t*, double*);
  std::int32_t (*LeggeTacche)(std::uint32_t*);
  std::int32_t (*VedePulsante)();
  std::int32_t (*RuotaTerna)(std::int32_t);
  std::int32_t (*LeggeTerna)();
  std::int32_t (*VedeCinematica)(std::int32_t, double*);
  std::int32_t (*VedeMaxAssi)();
  std::int32_t (*VedeCinematica2)(std::int32_t, std::int32_t*, double*, double*, std::int32_t*);
};

// The public header declares the same functions.
template <class Declared, class Expected>
constexpr bool kSameFunction = std::is_same_v<Declared, Expected>;
static_assert(kSameFunction<decltype(&::LeggeVersione), decltype(PilvoExports::LeggeVersione)>);
static_assert(kSameFunction<decltype(&::AprePorta), decltype(PilvoExports::AprePorta)>);
static_assert(kSameFunction<decltype(&::ChiudePorta), decltype(PilvoExports::ChiudePorta)>);
static_assert(kSameFunction<decltype(&::LeggeParametri), decltype(PilvoExports::LeggeParametri)>);
static_assert(kSameFunction<decltype(&::ResetEncoder), decltype(PilvoExports::ResetEncoder)>);
static_assert(kSameFunction<decltype(&::LeggeQuota), decltype(PilvoExports::LeggeQuota)>);
static_assert(kSameFunction<decltype(&::LeggeQuota2), decltype(PilvoExports::LeggeQuota2)>);
static_assert(kSameFunction<decltype(&::LeggeTacche), decltype(PilvoExports::LeggeTacche)>);
static_assert(kSameFunction<decltype(&::VedePulsante), decltype(PilvoExports::VedePulsante)>);
static_assert(kSameFunction<decltype(&::RuotaTerna), decltype(PilvoExports::RuotaTerna)>);
static_assert(kSameFunction<decltype(&::LeggeTerna), decltype(PilvoExports::LeggeTerna)>);
static_assert(kSameFunction<decltype(&::VedeCinematica), decltype(PilvoExports::VedeCinematica)>);
static_assert(kSameFunction<decltype(&::VedeMaxAssi), decltype(PilvoExports::VedeMaxAssi)>);
static_assert(kSameFunction<decltype(&::VedeCinematica2), decltype(PilvoExports::VedeCinematica2)>);

// A fresh settings folder that the library loaded next keeps its settings in: a host names it
// in the library's environment.
class LibraryConfigDir : public ScopedConfigDir {
 public:
  explicit LibraryConfigDir(const std::string& prefix) : ScopedConfigDir(prefix) {
    ::setenv("PILVO_CONFIG_DIR", path().c_str(), 1);
  }
  ~LibraryConfigDir() { ::unsetenv("PILVO_CONFIG_DIR"); }
};

// The library loaded with dlopen. Each load is a new process-wide session of the library (its
// operator and settings folder chosen by PILVO_OPERATOR and PILVO_CONFIG_DIR at that moment);
// unloading ends it.
class PilvoLibrary {
 public:
  PilvoLibrary() = default;
  PilvoLibrary(const PilvoLibrary&) = delete;
  PilvoLibrary& operator=(const PilvoLibrary&) = delete;
  ~PilvoLibrary() { Unload(); }

  // Loads the library at `path` and finds its fourteen exports. False, with the reason in
  // error() and nothing left loaded, when the library or an export is missing.
  bool Load(const std::string& path) {
    Unload();
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) return Failed(::dlerror());
    path_ = path;
    const bool found =
        Find("LeggeVersione", exports_.LeggeVersione) && Find("AprePorta", exports_.AprePorta) &&
        Find("ChiudePorta", exports_.ChiudePorta) &&
        Find("LeggeParametri", exports_.LeggeParametri) &&
        Find("ResetEncoder", exports_.ResetEncoder) && Find("LeggeQuota", exports_.LeggeQuota) &&
        Find("LeggeQuota2", exports_.LeggeQuota2) && Find("LeggeTacche", exports_.LeggeTacche) &&
        Find("VedePulsante", exports_.VedePulsante) && Find("RuotaTerna", exports_.RuotaTerna) &&
        Find("LeggeTerna", exports_.LeggeTerna) &&
        Find("VedeCinematica", exports_.VedeCinematica) &&
        Find("VedeMaxAssi", exports_.VedeMaxAssi) &&
        Find("VedeCinematica2", exports_.VedeCinematica2);
    if (!found) {
      const std::string reason = error_;
      Unload();
      return Failed(reason);
    }
    return true;
  }

  // Unloads the library. False, with the reason in error(), when dlclose fails or the library
  // stays in the process (then the next Load would not start from nothing).
  bool Unload() {
    if (handle_ == nullptr) return true;
    const bool closed = ::dlclose(handle_) == 0;
    handle_ = nullptr;
    exports_ = {};
    if (!closed) return Failed(::dlerror());
    if (void* still = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD); still != nullptr) {
      ::dlclose(still);
      return Failed("the library stays loaded");
    }
    return true;
  }

  // Null pointers while nothing is loaded.
  const PilvoExports& exports() const { return exports_; }
  const std::string& error() const { return error_; }

 private:
  template <class Function>
  bool Find(const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(handle_, name));
    return function != nullptr || Failed(std::string("no export ") + name);
  }
  bool Failed(std::string reason) {
    error_ = std::move(reason);
    return false;
  }

  void* handle_ = nullptr;
  std::string path_;
  PilvoExports exports_{};
  std::string error_;
};

// A port name that fits the 11 characters of the port field: a symbolic link /tmp/pvNNNN to
// the pseudo-terminal. Empty when no free name was found.
class ShortPortName {
 public:
  explicit ShortPortName(const std::string& target) {
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 100 && name_.empty(); ++attempt) {
      const std::string name = "/tmp/pv" + std::to_string(1000 + random() % 9000);
      if (::symlink(target.c_str(), name.c_str()) == 0) name_ = name;
    }
  }
  ShortPortName(const ShortPortName&) = delete;
  ShortPortName& operator=(const ShortPortName&) = delete;
  ~ShortPortName() {
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  const std::string& name() const { return name_; }
  bool Retarget(const std::string& target) const {
    ::unlink(name_.c_str());
    return ::symlink(target.c_str(), name_.c_str()) == 0;
  }
  void Remove() const { ::unlink(name_.c_str()); }

 private:
  std::string name_;
};

// A temperature that the boards report exactly: a whole raw reading at the gain of calibration
// word 1000, the virtual arm's default.
inline double OnBoardGrid(double celsius) {
  const double gain = (9.615 - 1000 * 0.0067) * 0.0009765625;
  return std::round((celsius + 60.0) / (gain * 25.0)) * gain * 25.0 - 60.0;
}

// A demo arm (PILVO_TEST_DATA) served by this process on the link its TAB file names: on a
// pseudo-terminal reached through a short port name, or as a USB device on a socket that
// PILVO_SIM_USB_SOCKET then names for the simulator flavour of the USB access library.
// Meant as a base of the client that drives it, which moves the arm and keeps the surroundings
// its readings are expected in.
class ServedDemoArm {
 public:
  // Serves demo arm `name`; the socket is used by USB arms only. False when the TAB file cannot
  // be read or the server cannot start.
  bool Serve(const std::string& name, const std::filesystem::path& usbSocket,
             const sim::VirtualArmOptions& options = {}) {
    tabPath_ = std::filesystem::path(std::getenv("PILVO_TEST_DATA")) / (name + ".tab");
    record_ = DemoArm(name);
    if (record_.jointCount == 0) return false;
    arm_ = std::make_unique<sim::VirtualArm>(record_, options);
    surroundings_ = {};
    surroundings_.referenceTemperatures =
        UnpackReferenceTemperatures(record_.referenceTemperaturesPacked);
    if (record_.linkType == 0) {
      if (!StartSerialServer()) return false;
      port_ = std::make_unique<ShortPortName>(serial_->slavePath());
      return !port_->name().empty();
    }
    ::setenv("PILVO_SIM_USB_SOCKET", usbSocket.c_str(), 1);
    usb_ = std::make_unique<sim::UsbSimServer>(std::vector{arm_.get()}, usbSocket.string());
    return usb_->Start();
  }

  // The serial server on a new pseudo-terminal.
  bool StartSerialServer() {
    serial_ = std::make_unique<sim::SerialSimServer>(*arm_);
    return serial_->Start();
  }

  // The serial port gone, as when its adapter is pulled out: no server, no device.
  void LosePort() {
    serial_.reset();
    port_->Remove();
  }
  // The port back under the same name, on a new pseudo-terminal.
  bool RestorePort() { return StartSerialServer() && port_->Retarget(serial_->slavePath()); }

  void StopServing() {
    usb_.reset();
    serial_.reset();
    port_.reset();
  }

  // The name to give AprePorta: USB arms ignore it.
  std::string portName() const { return port_ ? port_->name() : "COM1"; }

 protected:
  std::filesystem::path tabPath_;
  ArmRecord record_;
  sim::ArmSurroundings surroundings_;
  std::unique_ptr<sim::VirtualArm> arm_;
  std::unique_ptr<ShortPortName> port_;
  std::unique_ptr<sim::SerialSimServer> serial_;
  std::unique_ptr<sim::UsbSimServer> usb_;
};

}  // namespace pilvo::testing
