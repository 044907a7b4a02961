/* SPDX-License-Identifier: GPL-3.0-or-later */
/*
 * The contract between Kurvitex and an interface library: everything an outside library author
 * needs. A library is a shared object in the program folder that exports one C function,
 * ktx_link_ops(), returning a table of operations. Slot n of the table (counting the operations
 * from 1, after the two header fields) is operation n.
 *
 * Versions
 *  - Version 1 tables hold the nine operations 1 ... 9. Version 2 adds LinkWriteRaw (10) and
 *    LinkLastError (11); `count` says how many slots follow. Slots never change their meaning;
 *    the version only grows when slots are added.
 *  - The program takes any table of version 1 or later with at least nine slots and uses slot
 *    n only when count >= n and the slot is not NULL. Without LinkWriteRaw it keeps raw text
 *    itself and hands it over, in front of the next command, with that command's LinkWrite;
 *    without LinkLastError it reports failures without their cause.
 *
 * Conventions
 *  - Texts are zero-terminated 8-bit strings. A "handle" is a 16-bit link handle; 0 means
 *    "no link". Results of type uint8_t are flags: non-zero is success.
 *  - Time-outs are in milliseconds. The program sets 1000 right after opening. Instrument
 *    definition files give [DEVICE] TMO in seconds; the program converts it before handing it
 *    to LinkSetTimeout.
 *  - The program serialises its calls (never two at once on one handle) but may make them from
 *    a worker thread, not only from the thread that opened the link.
 *  - Every call is bounded in time. A text answer (LinkRead) fails when nothing arrives for the
 *    time-out in force, and in any case when it is not complete KTX_LINK_ANSWER_GRACE_MS after
 *    the time-out, counted from the call: an instrument that sends one byte now and then never
 *    holds a call longer. Binary blocks and hard copies (LinkReceiveFile, LinkReadData) fail
 *    when nothing arrives for the time-out in force (slow serial lines need a whole block to
 *    take longer than one time-out) and when they pass a size bound.
 *  - An answer never belongs to the wrong question. After a read that failed (time-out, size
 *    bound, broken block) the rest of that response may still be on its way. Before the next
 *    command goes out (LinkWrite, LinkWriteRaw, LinkSendFile) the library resynchronises:
 *    it clears the instrument where the bus can (GPIB and USBTMC device clear), otherwise it
 *    discards what arrives until the late response has ended (a line feed, then the line quiet
 *    for a short while) or until one time-out (the one of the failed read) after the failure.
 *    A write right after a failed read may therefore wait up to that time-out first. An answer
 *    later than twice the time-out after its command cannot be told from the next one on a
 *    plain byte stream.
 *  - The library adds its own message terminator to LinkWrite texts (a line feed on byte
 *    streams, EOI on GPIB). The program appends a line feed itself only for instruments that
 *    need one inside the text.
 *  - A library never shows a window unless LinkOpen is asked to. It keeps its settings in its
 *    own section of the configuration file handed to LinkOpen (for example [TCP] HOST and PORT);
 *    it may create the section with defaults. The libraries of Kurvitex also read [LINK]
 *    MAXRECEIVE, the size bound of LinkReceiveFile and LinkReadData in MiB (default 256).
 *  - Libraries stay language-free: they report the cause of a failure as a number
 *    (LinkLastError); the program turns it into a text for the user.
 */
#ifndef KTX_LINK_H
#define KTX_LINK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KTX_LINK_VERSION 2u
/* Number of operation slots of a version 2 table. */
#define KTX_LINK_OPERATIONS 11u
/* Size of the caller's answer buffer handed to LinkRead, terminating zero included. */
#define KTX_LINK_READ_BUFFER 2028u
/* A text answer longer than this (without its line feed) fails with KTX_LINK_E_SIZE_LIMIT. */
#define KTX_LINK_MAX_ANSWER 8192u
/* How much longer than the time-out a text answer that keeps trickling in may take. */
#define KTX_LINK_ANSWER_GRACE_MS 500u

/* Causes reported by LinkLastError. `detail` and `expected` are 0 unless said otherwise. */
/* The last call went through in full. */
#define KTX_LINK_OK 0
/* Nothing (more) arrived, or nothing could be sent, in time; detail: the time-out in ms. */
#define KTX_LINK_E_TIMEOUT 1
/* The instrument closed the connection, or the line broke. */
#define KTX_LINK_E_CLOSED 2
/* LinkOpen: the instrument refused the connection. */
#define KTX_LINK_E_REFUSED 3
/* LinkOpen: the device is held by another program or link. */
#define KTX_LINK_E_BUSY 4
/* A block ended before its announced length; detail: bytes that came, expected: announced. */
#define KTX_LINK_E_SHORT_BLOCK 5
/* A response passed the size bound; detail: the bound in bytes, expected: the length the
 * block announced (0: none was announced). */
#define KTX_LINK_E_SIZE_LIMIT 6
/* LinkOpen: no such host, port or device. */
#define KTX_LINK_E_NOT_FOUND 7
/* LinkOpen: the settings in the configuration file are invalid. */
#define KTX_LINK_E_SETTINGS 8
/* LinkOpen: the driver the library needs is not installed. */
#define KTX_LINK_E_DRIVER 9
/* A block was expected and none, or a malformed one, came. */
#define KTX_LINK_E_PROTOCOL 10
/* A file could not be read or written; detail: errno. */
#define KTX_LINK_E_FILE 11
/* Another system error; detail: errno. */
#define KTX_LINK_E_SYSTEM 12
/* The handle is not open. */
#define KTX_LINK_E_NO_LINK 13
/* Not a failure: LinkReadData went through with a block shorter than asked for; detail: data
 * bytes stored, expected: the count asked for. */
#define KTX_LINK_SHORT_DATA 100

typedef struct KtxLinkOps {
    uint32_t version; /* KTX_LINK_VERSION */
    uint32_t count;   /* number of operation slots that follow: KTX_LINK_OPERATIONS */

    /* 1: opens the link with the settings stored in configPath; askUser = 1 means the user
     * asked for the settings and the library may show its settings dialog. Writes the port or
     * device number shown in the status line to *port. Returns the handle, 0 on failure. */
    uint16_t (*LinkOpen)(const char* configPath, int32_t askUser, int32_t* port);
    /* 2: sends the whole text as one command message, ended by the library's terminator.
     * Raw text sent before it with LinkWriteRaw and not yet ended is the start of this same
     * message. */
    uint8_t (*LinkWrite)(uint16_t handle, const char* text);
    /* 3: reads one answer into buffer (KTX_LINK_READ_BUFFER bytes) as a zero-terminated text
     * without its terminator; a longer answer (up to KTX_LINK_MAX_ANSWER bytes) is cut, and
     * its rest is discarded. Bounded in time as the conventions say. */
    uint8_t (*LinkRead)(uint16_t handle, char* buffer);
    /* 4: writes the instrument's next complete response into the file (created or
     * overwritten): a definite-length block "#<d><len>" with exactly len bytes, an indefinite
     * block "#0" up to the end of the message, or a text up to its terminator; any header text
     * before the block is kept. Fails when nothing arrives for the time-out in force, when the
     * connection breaks, and at once when a block announces more than the size bound (or a
     * response without a length grows beyond it), leaving what arrived in the file. The
     * program receives into a temporary file and puts it in place only on success.
     * Screen pictures come raw, without block header or terminator, and "#<digit>" or line
     * feeds inside them mean nothing. A response that starts like a picture is taken whole by
     * its own rules: a BMP ("BM") ends at the file size its header states, a PNG (its 8-byte
     * signature) after its IEND chunk, a PCX (byte 10, version 0 or 2 ... 5, encoding 1,
     * 1/2/4/8 bits per pixel) when nothing more arrives for the time-out in force. A BMP or PNG
     * that stops early fails (time-out or short block), and so does a picture beyond the size
     * bound. Libraries on a bus that marks the end of a message (GPIB EOI, USBTMC) may end a
     * picture there instead. */
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
    /* 9: reads the next binary block and stores `count` bytes in buffer (the "#<d><len>"
     * header and any text before it are skipped). A block longer than count: its first count
     * bytes are stored and the rest is skipped. A complete block shorter than count (the live
     * display asks for 2 x N bytes of a one-byte curve of N points): it still succeeds, the
     * block's bytes are stored, the rest of the count bytes is set to zero, and LinkLastError
     * reports KTX_LINK_SHORT_DATA with the number of data bytes. A block that ends before its
     * announced length fails. */
    uint8_t (*LinkReadData)(uint16_t handle, void* buffer, uint32_t count);

    /* Version 2. */

    /* 10: sends the text exactly as it is: no terminator, and the message is not ended. The
     * instrument sees it as the start of the message that the next LinkWrite or LinkSendFile
     * ends (the set-up transfer sends long set-ups in groups this way, then one empty
     * LinkWrite). Libraries whose bus ends every write itself (GPIB EOI, USBTMC EOM) hold the
     * text back and send it with that message. */
    uint8_t (*LinkWriteRaw)(uint16_t handle, const char* text);
    /* 11: the cause of the outcome of the latest call on the handle (LinkClear and
     * LinkSetTimeout, which cannot fail, leave it alone): KTX_LINK_OK after a call that went
     * through, KTX_LINK_SHORT_DATA (see 9), or a KTX_LINK_E_* code; *detail and *expected
     * (either may be NULL) receive its numbers. Handle 0 gives the cause of the latest LinkOpen
     * that failed in this library; a handle that is not open gives KTX_LINK_E_NO_LINK. */
    int32_t (*LinkLastError)(uint16_t handle, uint32_t* detail, uint32_t* expected);
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
