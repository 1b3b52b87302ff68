#include "sim/fault_injection.h"

namespace pilvo::sim {
namespace {

void Invert(std::vector<std::uint8_t>& reply, std::size_t from) {
  for (std::size_t i = from; i < reply.size(); ++i) reply[i] = static_cast<std::uint8_t>(~reply[i]);
}

}  // namespace

void ApplyFault(FaultPlan& plan, Link link, std::vector<std::uint8_t>& reply) {
  if (!plan.fault || reply.empty()) return;
  // A USB reply echoes its command in its first byte.
  if (plan.usbCommand && (link != Link::Usb || reply[0] != *plan.usbCommand)) return;
  switch (*plan.fault) {
    case Fault::Silence:
      reply.clear();
      break;
    case Fault::ShortReply:
      reply.pop_back();
      break;
    case Fault::WrongEcho:
      if (link == Link::Usb) {
        reply[0] = static_cast<std::uint8_t>(~reply[0]);
      } else {
        Invert(reply, 0);  // a register list has no echo to get wrong
      }
      break;
    case Fault::CorruptBytes:
      Invert(reply, link == Link::Usb ? 1 : 0);
      break;
  }
  if (plan.remaining && --*plan.remaining == 0) plan = FaultPlan{};
}

}  // namespace pilvo::sim
