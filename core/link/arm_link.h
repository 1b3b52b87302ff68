// The link to the arm's controller board: a serial port or the USB access library, chosen by
// the link type of the working arm record. Opening is lazy; every failed exchange closes the
// link so that the next one reopens it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "data/arm_record.h"
#include "data/product_context.h"
#include "link/serial_transport.h"
#include "link/transport.h"
#include "link/usb_transport.h"

namespace pilvo {

class ArmLink {
 public:
  // `record` is the working arm record (link type, speed code, probe mode); `context` gives the
  // application profile holding "TIMEOUT" and the serial port names, and the language.
  ArmLink(const ArmRecord& record, const ProductContext& context, UsbDeviceChooser chooser = {});
  ArmLink(const ArmLink&) = delete;
  ArmLink& operator=(const ArmLink&) = delete;

  const ProductContext& context() const { return context_; }

  // Called on every close, before anything is closed: the owner clears its parameters-loaded
  // and arm-ready flags and tells its displays.
  void SetCloseListener(std::function<void()> listener) { closeListener_ = std::move(listener); }

  // From now on the bytes go over these instead of the serial port and the USB access library,
  // e.g. to a virtual arm in this process. Called while the link is closed; both must outlive
  // the link. Loading the library and choosing a USB device still use the library.
  void UseTransports(ArmTransport& serial, ArmTransport& usb);

  // False, and nothing recorded, when the name does not fit the 11-character field.
  bool SetPortName(std::string_view name) { return serialPort_.SetPortName(name); }
  const std::string& portName() const { return serialPort_.portName(); }

  bool IsUsb() const { return record_.linkType == 1; }
  // Open as the exchanges test it: that of the transport of the record's link type.
  bool IsOpen() const { return transport().IsOpen(); }
  // What each protocol's bytes go over.
  ArmTransport& serialTransport() const { return *serial_; }
  ArmTransport& usbTransport() const { return *usb_; }

  // Serial: 0, -1 cannot open, -2 settings unreadable, -3 settings refused, -4 time-outs
  // refused (after -2 to -4 the port stays open). USB: 0 or -1.
  int OpenArmPort() { return transport().Open(); }
  // 0 when a link was open and has been closed, -1 when nothing was open.
  int ChiudePorta();

  // 0 loaded, -1 cannot be loaded, -2 an entry point is missing.
  int LoadUsbLibrary() { return usbLibrary_.LoadLibrary(); }
  int libraryStatus() const { return usbLibrary_.libraryStatus(); }
  // The instance of the arm to use, or -1.
  int ChooseUsbDevice(bool showMessages) { return usbLibrary_.ChooseDevice(showMessages); }
  int usbInstance() const { return usbLibrary_.instance(); }
  // Closes the link and releases the USB access library.
  void UnloadArmLink();

 private:
  ArmTransport& transport() const { return IsUsb() ? *usb_ : *serial_; }

  const ArmRecord& record_;
  const ProductContext& context_;
  std::function<void()> closeListener_;
  SerialTransport serialPort_;
  UsbTransport usbLibrary_;
  ArmTransport* serial_ = &serialPort_;
  ArmTransport* usb_ = &usbLibrary_;
};

}  // namespace pilvo
