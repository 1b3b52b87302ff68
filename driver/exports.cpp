// The fourteen exports: each checks its arguments, runs on the process-wide session and turns
// anything unexpected into its failure code, so that no exception reaches the client.
#include <cstring>
#include <span>
#include <string_view>

#include "library_instance.h"
#include "link/serial_settings.h"
#include "pilvo.h"
#include "session/arm_initialisation.h"
#include "session/reference_frame.h"

namespace pilvo {
namespace {

constexpr std::int32_t kNotConnected = PILVO_NOT_CONNECTED;
constexpr std::int32_t kAlignmentFailed = PILVO_ALIGNMENT_FAILED;

// The text of a zero-terminated argument, read no further than one character past `field`:
// enough for the session to refuse a longer one. Null reads as empty.
std::string_view BoundedText(const char* text, std::size_t field) {
  return text != nullptr ? std::string_view(text, ::strnlen(text, field + 1)) : std::string_view();
}

template <typename Call>
std::int32_t Guarded(std::int32_t failure, Call&& call) noexcept {
  try {
    return call();
  } catch (...) {
    return failure;
  }
}

// Every export that reaches the library first lets its windows catch up on their events.
LibraryInstance& Library() {
  LibraryInstance& library = TheLibrary();
  library.ui().ProcessPendingEvents();
  return library;
}

ArmSession& Session() {
  return Library().session();
}

// A reading works on copies of the client's pose and status and hands back what the session
// left in them: a failed first board read keeps the client's values.
template <typename Read>
std::int32_t ReadPose(double* pose, std::int32_t* status, Read&& read) {
  if (pose == nullptr || status == nullptr) return PILVO_NULL_ARGUMENT;
  if (!Library().MayOpenLink()) return kNotConnected;
  Pose kept;
  std::memcpy(kept.data(), pose, sizeof kept);
  std::int32_t word = *status;
  const int result = read(kept, word);
  std::memcpy(pose, kept.data(), sizeof kept);
  *status = word;
  return result;
}

}  // namespace
}  // namespace pilvo

using pilvo::ArmSession;
using pilvo::BoundedText;
using pilvo::Guarded;
using pilvo::kAlignmentFailed;
using pilvo::kNotConnected;
using pilvo::Library;
using pilvo::Pose;
using pilvo::ReadPose;
using pilvo::Session;

extern "C" {

PILVO_API int32_t LeggeVersione(void) {
  return PILVO_INTERFACE_VERSION;
}

PILVO_API int32_t AprePorta(const char* portName) {
  return Guarded(0, [&] {
    Library().NamePort(BoundedText(portName, pilvo::kMaxPortNameLength));
    return 0;
  });
}

PILVO_API int32_t ChiudePorta(void) {
  return Guarded(kNotConnected, [] { return Session().link().ChiudePorta(); });
}

PILVO_API int32_t LeggeParametri(const char* tabPath) {
  return Guarded(kNotConnected, [&] {
    return Session().LeggeParametri(BoundedText(tabPath, pilvo::kMaxTabPath));
  });
}

PILVO_API int32_t ResetEncoder(void) {
  return Guarded(kNotConnected, [] {
    if (!Library().MayOpenLink()) return kNotConnected;
    return pilvo::InitialiseArm(Session(), pilvo::InitialiseMode::Reset);
  });
}

PILVO_API int32_t LeggeQuota(double pose[16], int32_t* status) {
  return Guarded(kNotConnected, [&] {
    return ReadPose(pose, status,
                    [](Pose& p, std::int32_t& s) { return Session().LeggeQuota(p, s); });
  });
}

PILVO_API int32_t LeggeQuota2(double pose[16], int32_t* status, double* diameter) {
  return Guarded(kNotConnected, [&] {
    if (diameter == nullptr) return PILVO_NULL_ARGUMENT;
    return ReadPose(pose, status, [&](Pose& p, std::int32_t& s) {
      return Session().LeggeQuota2(p, s, *diameter);
    });
  });
}

PILVO_API int32_t LeggeTacche(uint32_t* mask) {
  return Guarded(kNotConnected, [&] {
    if (mask == nullptr) return PILVO_NULL_ARGUMENT;
    return pilvo::LeggeTacche(Session(), *mask);
  });
}

PILVO_API int32_t VedePulsante(void) {
  return -1;
}

PILVO_API int32_t RuotaTerna(int32_t mode) {
  return Guarded(kAlignmentFailed, [&] {
    ArmSession& session = Session();
    return pilvo::RuotaTerna(mode, session.link().IsOpen(), session.state().frames,
                             session.profileStore(),
                             session.dialogs().MakeAlignmentDialog(session));
  });
}

PILVO_API int32_t LeggeTerna(void) {
  return Guarded(kNotConnected, [] {
    ArmSession& session = Session();
    return pilvo::LeggeTerna(session.state().frames, session.profileStore());
  });
}

PILVO_API int32_t VedeCinematica(int32_t flags, double values[10]) {
  return Guarded(kNotConnected, [&] {
    if (values == nullptr) return PILVO_NULL_ARGUMENT;
    return Session().VedeCinematica(
        flags, std::span<double, pilvo::kKinematicViewValues>(values, pilvo::kKinematicViewValues));
  });
}

PILVO_API int32_t VedeMaxAssi(void) {
  return PILVO_MAX_JOINTS;
}

PILVO_API int32_t VedeCinematica2(int32_t mode, int32_t* jointCount, double* angles,
                                  double* lengths, int32_t* options) {
  return Guarded(kNotConnected, [&] {
    return Session().VedeCinematica2(mode, jointCount, angles, lengths, options);
  });
}

}  // extern "C"
