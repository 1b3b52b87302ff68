/*
 * pilvo.h: the driver library of the Pilvo3D coordinate-measuring arm (libpilvo.so).
 *
 * A measuring application drives the arm through the fourteen functions below: it names the
 * arm's port, loads the arm's kinematic parameter file (the TAB file), initialises the arm and
 * then polls the pose of the probe. The port, the board protocol, the kinematic model, the
 * probes and the reference frames all sit behind these calls.
 *
 * Calling order
 *   1. LeggeVersione                      optional: check the interface version (4403)
 *   2. AprePorta(port)                    the serial port of the arm (ignored by USB arms)
 *   3. LeggeParametri(tab)                the arm's TAB file
 *   4. ResetEncoder                       repeat until it returns 0
 *   5. LeggeQuota or LeggeQuota2          in a polling loop; LeggeTacche, RuotaTerna,
 *                                         LeggeTerna, VedeCinematica, VedeCinematica2 as needed
 *   6. ChiudePorta                        at the end
 * Nothing enforces this order: a call made out of order works on whatever the library holds
 * (a reading before LeggeParametri computes with an empty arm), except VedeCinematica2, which
 * reports -2 until a TAB file has been read. The link is opened on demand by the first
 * call that talks to the arm (ResetEncoder, LeggeQuota, LeggeQuota2). Any failed exchange with
 * the arm closes the link: after a negative result from a board call, start again from
 * ResetEncoder (the loaded TAB file is kept).
 *
 * Threads
 *   The library is meant for one calling thread. It starts no threads and takes no locks; do not
 *   call it from two threads at once. ResetEncoder and RuotaTerna ask the operator (reset,
 *   temperature and alignment dialogs), as does a reading while the arm's button 2 is held on
 *   arms that swap their TAB file that way; such calls return only when the operator is done.
 *   With a display the operator sees the library's windows (libpilvo-ui.so, loaded from beside
 *   the library; Qt 6, in the client's QApplication when it runs one, else in the library's,
 *   whose events every call processes, so a client without an event loop keeps the tray icon
 *   alive by polling). Without a display the operator is the console: messages go to standard
 *   error and the dialogs follow the arm's own reference marks and buttons (see PILVO_OPERATOR
 *   in the README).
 *
 * Types and results
 *   Integers are 32-bit (int32_t, uint32_t); lengths are millimetres, angles degrees or radians
 *   as each function says. Every function returns a 32-bit signed result whose values each
 *   function lists; a negative value is a failure. No function throws, aborts or keeps a pointer it
 * was given; the caller owns every buffer. A required output pointer that is null gives
 * PILVO_NULL_ARGUMENT and nothing is done. Text arguments are zero-terminated; a port name holds at
 * most 11 characters and a TAB path at most 259: longer text is refused, never cut. When the
 * library cannot carry out a call at all (it cannot set itself up, or memory runs out), the call
 *   returns -1 (RuotaTerna -2, AprePorta 0 without recording the port).
 *
 * Set-up and tear-down
 *   The library sets itself up when a client first calls a function that needs the arm (all but
 *   LeggeVersione, VedePulsante and VedeMaxAssi): it selects the language of its texts, loads
 *   the USB access library (libmpusbapi.so, found through the ordinary library search order)
 *   and reads the rotating-table alignment. Unloading the library (dlclose, or the end of the
 *   process) closes the link and releases the USB access library.
 */
#ifndef PILVO_H
#define PILVO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define PILVO_API __attribute__((visibility("default")))
#else
#define PILVO_API
#endif

/* The interface version that LeggeVersione returns. */
#define PILVO_INTERFACE_VERSION 4403
/* The largest number of joints of an arm: the size of the angle arrays. */
#define PILVO_MAX_JOINTS 8

/* Results. The comment of each function lists the values it returns; the names below give
   each value one meaning per family. 0 is success everywhere. */
#define PILVO_OK 0

/* Failures of the calls that talk to the arm (ResetEncoder, LeggeQuota, LeggeQuota2,
   LeggeTacche); each closes the link. PILVO_NOT_CONNECTED is also what the calls that open
   nothing (ChiudePorta, LeggeTacche, RuotaTerna, VedeCinematica, VedeCinematica2) give when no
   link is open. */
#define PILVO_NOT_CONNECTED (-1)        /* no link is open, and it cannot be opened */
#define PILVO_SHORT_REPLY (-2)          /* the serial board answered short, or not at all */
#define PILVO_SHORT_MARK_REPLY (-3)     /* the same, for the reference-mark query */
#define PILVO_NEEDS_USB (-10)           /* a board command of USB arms only (no export gives it) */
#define PILVO_USB_TRANSFER_FAILED (-11) /* a USB transfer failed, or the arm is unplugged */
#define PILVO_WRONG_USB_REPLY (-12)     /* the USB reply is not the one asked for */

/* A required output pointer was null; nothing was done. */
#define PILVO_NULL_ARGUMENT (-20)

/* How a reset was cancelled (ResetEncoder); the reference-mark query can also end it with its
   own failure. */
#define PILVO_RESET_CANCELLED (-4)        /* by the operator, or the reset timed out */
#define PILVO_RESET_CANCELLED_OPEN_LINK 3 /* cancelled, the link left open */

/* LeggeParametri. */
#define PILVO_TAB_UNREADABLE (-1) /* the file cannot be opened, or its path is too long or null */
#define PILVO_TAB_INVALID (-2)    /* not a TAB file this library reads */

/* LeggeTacche. */
#define PILVO_MARKS_PENDING 0  /* not every joint that needs a mark has found it yet */
#define PILVO_MARKS_COMPLETE 1 /* every joint that needs a mark has found it */
#define PILVO_NO_MARKS (-2)    /* the arm has no reference marks */

/* RuotaTerna. */
#define PILVO_ALIGNMENT_FAILED (-2) /* the points could not be taken, or gave no frame */
#define PILVO_UNKNOWN_MODE (-3)     /* a mode other than 0 or 1 */

/* VedeCinematica2. */
#define PILVO_NO_TAB_LOADED (-2) /* no TAB file loaded since the link was last closed */

/* Bits of the status word of LeggeQuota and LeggeQuota2. A held button is reported at every
   reading; a point is taken on the reading where button 1 goes down. */
#define PILVO_STATUS_BUTTON1 1 /* button 1 pressed */
#define PILVO_STATUS_BUTTON2                                                               \
  2                                /* button 2 pressed (or, with the TAB swap by button, a \
                                      short press just released: the status is exactly 2) */
#define PILVO_STATUS_BUTTON3 4     /* the third button pressed */
#define PILVO_STATUS_AUXILIARY 256 /* button 1 pressed with auxiliary input 1 or 2 set */
#define PILVO_STATUS_LIMITS 512    /* a joint is outside its limits, or has just come back */

/* The interface version: PILVO_INTERFACE_VERSION, always. Touches nothing. */
PILVO_API int32_t LeggeVersione(void);

/* Records the name of the arm's serial port and marks the library as driven by a client (which
 * enables the push of a taken point by the probe radius along the direction of motion). It
 * opens nothing: the first call that talks to the arm opens the port.
 *   portName  in; "/dev/ttyS0" and any device path, or "COM1" ... "COM20" (mapped to
 *             /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*, or as section [SerialPorts] of pilvo.ini
 *             says). At most 11 characters: a longer name, or null, is refused, and until a
 *             name that fits is given no serial port is opened (board calls give -1).
 * Returns 0, always. */
PILVO_API int32_t AprePorta(const char* portName);

/* Closes the link to the arm, if one is open, and forgets that the arm was initialised (a new
 * ResetEncoder is needed; the loaded TAB file is kept). Tells the operator the arm is
 * disconnected.
 * Returns 0 when a link was open and has been closed; -1 when none was open. */
PILVO_API int32_t ChiudePorta(void);

/* Reads a TAB file as the arm's kinematic description; the probe in use goes back to the arm's
 * own. It does not talk to the arm.
 *   tabPath  in; path of the TAB file, at most 259 characters.
 * Returns 0 loaded; -1 the file cannot be opened, the path is longer than 259 characters or
 * null; -2 the file is not a TAB file this library reads (after a message to the operator).
 * On failure the link is closed and no TAB path is kept; the arm description read before stays
 * in memory. */
PILVO_API int32_t LeggeParametri(const char* tabPath);

/* Initialises the arm: opens the link when needed, identifies and configures the boards,
 * applies the probe in use and, when the arm needs referencing, takes the operator through the
 * reset (the joints passed over their reference marks, or the arm in its rest position).
 * Returns 0 the arm is ready to measure; -1 the link cannot be opened or the USB configuration
 * failed; -2 the serial board did not answer; otherwise the code the reset was cancelled with:
 * -4 cancelled by the operator, a negative LeggeTacche result that ended it, or 3 (the only
 * code that leaves the link open). Call it again until it returns 0. */
PILVO_API int32_t ResetEncoder(void);

/* Reads the arm once: the pose of the probe and the status word.
 *   pose    out, 16 doubles: a 4x4 homogeneous transform, row-major (element (r, c) at
 *           4 * r + c). Rows 0 to 2 hold the orientation of the last arm segment in columns 0
 *           to 2 and the probe position in millimetres in column 3, in the user reference frame
 *           when one is active; column 2 is the probe axis. Required.
 *   status  out: PILVO_STATUS_* bits, 0 when nothing is pressed. Required.
 * Returns 0; -1 not connected and the link cannot be opened; -2 short serial reply; -11 USB
 * transfer failed; -12 wrong USB reply (each closes the link). A reply whose joints moved further
 * since the last reading than a hand can turn them (about 1000 degrees a second) is read again at
 * once; when the second read can be neither a real move nor the arm's position before, the reply
 * was spoilt on the way and the reading fails with -2 (serial) or -12 (USB) likewise. The first
 * reading after the link was opened or the arm reset, and a reading more than 300 ms after the
 * last, are taken as they come. When the arm could not be read, pose keeps its contents and
 * status is not written. */
PILVO_API int32_t LeggeQuota(double pose[16], int32_t* status);

/* LeggeQuota, after writing the probe diameter.
 *   diameter  out: twice the probe radius of the probe in use, millimetres. Required.
 * Returns as LeggeQuota. */
PILVO_API int32_t LeggeQuota2(double pose[16], int32_t* status, double* diameter);

/* Asks the board which joints have passed their reference mark. Needs an open link; opens none.
 *   mask  out: bit j set when joint j (from 0) has found its mark. Required; written on 0 and 1.
 * Returns 1 every joint that needs a mark has found it; 0 not yet; -1 not connected; -2 the
 * arm has no reference marks (mask untouched); -3 short serial reply; -11 USB transfer failed;
 * -12 wrong USB reply (-3, -11 and -12 close the link). */
PILVO_API int32_t LeggeTacche(uint32_t* mask);

/* Buttons are reported by the status word of LeggeQuota. Returns -1, always. */
PILVO_API int32_t VedePulsante(void);

/* The user reference frame, in which readings are then expressed.
 *   mode  in; 0: back to the arm's own frame (the stored frame stays stored, LeggeTerna brings
 *         it back); 1: the operator measures three points on the workpiece (origin, a point on
 *         X, a point on the XY side), and the frame they give is made active and stored.
 * Returns 0 done or cancelled; -1 not connected (mode 1; nothing is opened); -2 the points
 * could not be taken (a reading failed) or gave no frame (repeated or collinear); -3 a mode
 * other than 0 or 1 (nothing changes). */
PILVO_API int32_t RuotaTerna(int32_t mode);

/* Makes the stored user reference frame active again (identity when none is stored).
 * Returns 0; -1 only when the library could not run the call at all (out of memory). */
PILVO_API int32_t LeggeTerna(void);

/* The joints of the last reading in a six-joint layout, for an arm display. It does not read
 * the arm.
 *   flags   in; bit 0 set: angles in degrees, else radians.
 *   values  out, 10 doubles: 0 to 5 the joint angles (joint 0 negated; a five-joint arm gets 0 in
 *           value 2 and its joints 2 to 4 in values 3 to 5), 6 to 9 four link lengths of the arm
 *           in millimetres. Required.
 * Returns 0; -1 not connected. */
PILVO_API int32_t VedeCinematica(int32_t flags, double values[10]);

/* PILVO_MAX_JOINTS (8), always: the largest number of joints of an arm. */
PILVO_API int32_t VedeMaxAssi(void);

/* The joints of the last reading in the arm's own layout. It does not read the arm. Every
 * output may be null and is then skipped.
 *   mode        in; exactly 1: angles in degrees; any other value: radians.
 *   jointCount  out: the number of joints shown.
 *   angles      out, room for PILVO_MAX_JOINTS doubles: the angles of the joints shown, joint 0
 *               negated.
 *   lengths     out, 4 doubles: four link lengths of the arm in millimetres.
 *   options     out: 1 auxiliary input 0 fitted, + 2 auxiliary input 1 or 2 fitted, + 4 the
 *               third axis of board 3 has its companion.
 * Returns 0; -1 not connected; -2 no TAB file loaded since the link was last closed. */
PILVO_API int32_t VedeCinematica2(int32_t mode, int32_t* jointCount, double* angles,
                                  double* lengths, int32_t* options);

#ifdef __cplusplus
}
#endif

#endif /* PILVO_H */
