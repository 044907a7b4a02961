/* SPDX-License-Identifier: GPL-3.0-or-later */
/*
 * The contract between Kurvitex and an interface library: everything an outside library author
 * needs. A library is a shared object in the program folder that exports one C function,
 * ktx_link_ops(), returning a table of nine operations. Slot n of the table (counting the
 * operations from 1, after the two header fields) is operation n.
 *
 * Conventions
 *  - Texts are zero-terminated 8-bit strings. A "handle" is a 16-bit link handle; 0 means
 *    "no link". Results of type uint8_t are flags: non-zero is success.
 *  - Time-outs are in milliseconds. The program sets 1000 right after opening.
 *  - The program serialises its calls (never two at once on one handle) but may make them from
 *    a worker thread, not only from the thread that opened the link.
 *  - No call may block longer than the time-out in force (plus the time needed to move the
 *    data that did arrive). A library never shows a window unless LinkOpen is asked to.
 *  - The library adds its own message terminator to LinkWrite texts (a line feed on byte
 *    streams, EOI on GPIB). The program appends a line feed itself only for instruments that
 *    need one inside the text.
 *  - A library keeps its settings in its own section of the configuration file handed to
 *    LinkOpen (for example [TCP] HOST and PORT); it may create the section with defaults.
 */
#ifndef KTX_LINK_H
#define KTX_LINK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KTX_LINK_VERSION 1u
/* Size of the caller's answer buffer handed to LinkRead, terminating zero included. */
#define KTX_LINK_READ_BUFFER 2028u

typedef struct KtxLinkOps {
    uint32_t version; /* KTX_LINK_VERSION */
    uint32_t count;   /* number of operation slots that follow: 9 */

    /* 1: opens the link with the settings stored in configPath; askUser = 1 means the user
     * asked for the settings and the library may show its settings dialog. Writes the port or
     * device number shown in the status line to *port. Returns the handle, 0 on failure. */
    uint16_t (*LinkOpen)(const char* configPath, int32_t askUser, int32_t* port);
    /* 2: sends the whole text as one command message. */
    uint8_t (*LinkWrite)(uint16_t handle, const char* text);
    /* 3: reads one answer into buffer (KTX_LINK_READ_BUFFER bytes) as a zero-terminated text
     * without its terminator; a longer answer is cut, and its rest is discarded. */
    uint8_t (*LinkRead)(uint16_t handle, char* buffer);
    /* 4: writes the instrument's next complete response into the file (created or
     * overwritten): a definite-length block "#<d><len>" with exactly len bytes, an indefinite
     * block "#0" up to the end of the message, or a text up to its terminator; any header text
     * before the block is kept. Fails at the time-out, leaving what arrived in the file. */
    uint8_t (*LinkReceiveFile)(uint16_t handle, const char* fileName);
    /* 5: sends the file's bytes unchanged as one message. */
    uint8_t (*LinkSendFile)(uint16_t handle, const char* fileName);
    /* 6: releases the link. */
    uint8_t (*LinkClose)(uint16_t handle);
    /* 7: discards input left over from earlier exchanges; the answer to a command sent since
     * the last read is kept. */
    void (*LinkClear)(uint16_t handle);
    /* 8: sets the time-out and returns the previous one. */
    uint16_t (*LinkSetTimeout)(uint16_t handle, uint16_t timeoutMs);
    /* 9: reads the next binary block and stores exactly count bytes of its data in buffer
     * (the "#<d><len>" header and any text before it are skipped). */
    uint8_t (*LinkReadData)(uint16_t handle, void* buffer, uint32_t count);
} KtxLinkOps;

/* The one exported symbol. The table lives as long as the library is loaded. */
#if defined(_WIN32)
#define KTX_LINK_EXPORT __declspec(dllexport)
#else
#define KTX_LINK_EXPORT __attribute__((visibility("default")))
#endif
typedef const KtxLinkOps* (*KtxLinkOpsFunction)(void);
#define KTX_LINK_OPS_SYMBOL "ktx_link_ops"

#ifdef __cplusplus
}
#endif

#endif /* KTX_LINK_H */
