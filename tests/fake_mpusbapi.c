/* A stand-in USB access library with one arm that answers every read with the reply to a
 * version query. Built without _MPUSBReadInt when FAKE_MPUSBAPI_WITHOUT_READ_INT is defined. */
#include <errno.h>
#include <string.h>

#include "fake_mpusbapi.h"

static uint32_t Finish(MPUSB_HANDLE pipe, uint32_t length, uint32_t* transferred) {
  if (pipe == FAKE_PIPE_WORKING) {
    *transferred = length;
    return 1;
  }
  if (pipe == FAKE_PIPE_UNPLUGGED) errno = EBADF;
  if (pipe == FAKE_PIPE_FAULTY) errno = EIO;
  return 0;
}

uint32_t _MPUSBGetDLLVersion(void) {
  return 0x01000000u;
}

uint32_t _MPUSBGetDeviceCount(const char* vidPid) {
  return strcmp(vidPid, "vid_04d8&pid_feab") == 0 ? 1u : 0u;
}

MPUSB_HANDLE _MPUSBOpen(uint32_t instance, const char* vidPid, const char* endpoint,
                        uint32_t direction, uint32_t reserved) {
  (void)endpoint;
  (void)direction;
  if (instance != 0 || reserved != 0 || _MPUSBGetDeviceCount(vidPid) == 0) {
    errno = ENODEV;
    return MPUSB_INVALID_HANDLE;
  }
  return FAKE_PIPE_WORKING;
}

uint32_t _MPUSBWrite(MPUSB_HANDLE pipe, const void* data, uint32_t length, uint32_t* transferred,
                     uint32_t timeoutMs) {
  (void)data;
  (void)timeoutMs;
  return Finish(pipe, length, transferred);
}

uint32_t _MPUSBRead(MPUSB_HANDLE pipe, void* data, uint32_t length, uint32_t* transferred,
                    uint32_t timeoutMs) {
  static const uint8_t kVersionReply[] = {0x00, 0x05, 0x01};
  (void)timeoutMs;
  if (length > sizeof kVersionReply) length = (uint32_t)sizeof kVersionReply;
  if (pipe == FAKE_PIPE_WORKING) memcpy(data, kVersionReply, length);
  return Finish(pipe, length, transferred);
}

#ifndef FAKE_MPUSBAPI_WITHOUT_READ_INT
uint32_t _MPUSBReadInt(MPUSB_HANDLE pipe, void* data, uint32_t length, uint32_t* transferred,
                       uint32_t timeoutMs) {
  return _MPUSBRead(pipe, data, length, transferred, timeoutMs);
}
#endif

int32_t _MPUSBClose(MPUSB_HANDLE pipe) {
  return pipe == FAKE_PIPE_WORKING;
}
