/* The pipes of the stand-in USB access library that the loader tests use, one per way a
 * transfer can end. */
#ifndef PILVO_TESTS_FAKE_MPUSBAPI_H
#define PILVO_TESTS_FAKE_MPUSBAPI_H

#include "platform/mpusbapi/mpusbapi.h"

#define FAKE_PIPE_WORKING ((MPUSB_HANDLE)(intptr_t)0x10)   /* moves every byte */
#define FAKE_PIPE_UNPLUGGED ((MPUSB_HANDLE)(intptr_t)0x20) /* fails with EBADF */
#define FAKE_PIPE_FAULTY ((MPUSB_HANDLE)(intptr_t)0x30)    /* fails with EIO */
#define FAKE_PIPE_MUTE ((MPUSB_HANDLE)(intptr_t)0x40)      /* fails, errno left alone */

#endif /* PILVO_TESTS_FAKE_MPUSBAPI_H */
