#include "link/arm_link.h"

#include <utility>

#include "link/usb_protocol.h"

namespace pilvo {

ArmLink::ArmLink(const ArmRecord& record, const ProductContext& context, UsbDeviceChooser chooser)
    : record_(record),
      context_(context),
      serialPort_(record, context.profileStore()),
      usbLibrary_(std::move(chooser), context.language()) {}

void ArmLink::UseTransports(ArmTransport& serial, ArmTransport& usb) {
  serial_ = &serial;
  usb_ = &usb;
}

int ArmLink::ChiudePorta() {
  if (closeListener_) closeListener_();
  if (IsUsb() && !record_.options.probeMode) SendRelease(*usb_);
  // Whatever is open is closed, even if the link type changed since it was opened.
  const bool usbWasOpen = usb_->Close();
  const bool serialWasOpen = serial_->Close();
  return usbWasOpen || serialWasOpen ? 0 : -1;
}

void ArmLink::UnloadArmLink() {
  ChiudePorta();
  usbLibrary_.UnloadLibrary();
}

}  // namespace pilvo
