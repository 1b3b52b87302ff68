/* The USB access library contract: seven entry points that the driver resolves by name after
 * dlopen("libmpusbapi.so"). Two libraries implement it: the one for real arms on libusb-1.0,
 * and the virtual arm's, which forwards to pilvo-sim. LD_LIBRARY_PATH picks which one loads.
 *
 * Device identity: the driver passes the filter "vid_04d8&pid_feab" and the endpoint
 * "\MCHP_EP1" (bulk endpoint 1: OUT 0x01 for direction 0, IN 0x81 for direction 1).
 *
 * Errors: every failing call returns its failure value and sets errno. errno EBADF means
 * "invalid handle": the handle was never valid, has been closed, or its device has been
 * unplugged; the caller then closes its pipes. ETIMEDOUT is a time-out, EIO any other fault
 * of the transfer, EINVAL bad arguments. A successful call leaves errno unspecified.
 *
 * Threads: every entry point may be called from any thread, also at the same time. */
#ifndef PILVO_MPUSBAPI_H
#define PILVO_MPUSBAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* MPUSB_HANDLE;
#define MPUSB_INVALID_HANDLE ((MPUSB_HANDLE)(intptr_t)-1)

#define MPUSB_DIRECTION_WRITE 0u
#define MPUSB_DIRECTION_READ 1u

/* Version of the library as 0xMMmmrrbb; the driver only checks that it exists. */
uint32_t _MPUSBGetDLLVersion(void);

/* Number of attached devices whose identity matches `vidPid` ("vid_XXXX&pid_YYYY", any case);
 * 0 when there is none or the text is malformed. */
uint32_t _MPUSBGetDeviceCount(const char* vidPid);

/* Opens one pipe of device `instance` (0, 1, … in a stable order: bus number, then device
 * address) matching `vidPid`, on endpoint `endpoint` ("\MCHP_EPn", n = 1 to 15), for
 * `direction` MPUSB_DIRECTION_WRITE or MPUSB_DIRECTION_READ. `reserved` must be 0. Returns
 * the pipe, or MPUSB_INVALID_HANDLE with errno ENODEV (no such instance), EACCES (no
 * permission to open the device), EBUSY (another program holds it), EINVAL or EIO. */
MPUSB_HANDLE _MPUSBOpen(uint32_t instance, const char* vidPid, const char* endpoint,
                        uint32_t direction, uint32_t reserved);

/* Bulk transfers of at most `length` bytes with a time-out in milliseconds (0 waits as briefly
 * as possible, never forever); `*transferred` (never null) receives the bytes moved, also on a
 * time-out. Non-zero on success. A read that ends early because the device sent a shorter
 * packet succeeds with the shorter count; a reply longer than `length` is an EIO failure.
 * Writing on a read pipe or reading on a write pipe is EINVAL. */
uint32_t _MPUSBWrite(MPUSB_HANDLE pipe, const void* data, uint32_t length, uint32_t* transferred,
                     uint32_t timeoutMs);
uint32_t _MPUSBRead(MPUSB_HANDLE pipe, void* data, uint32_t length, uint32_t* transferred,
                    uint32_t timeoutMs);
/* Interrupt transfer on the pipe's endpoint; the driver never calls it. */
uint32_t _MPUSBReadInt(MPUSB_HANDLE pipe, void* data, uint32_t length, uint32_t* transferred,
                       uint32_t timeoutMs);

/* Closes a pipe; non-zero on success. */
int32_t _MPUSBClose(MPUSB_HANDLE pipe);

#ifdef __cplusplus
}
#endif

#endif /* PILVO_MPUSBAPI_H */
