/* SPDX-License-Identifier: GPL-3.0-or-later */
/*
 * The contract between Kurvitex and a display conversion library: the handheld instruments
 * (device type 20 and above) cannot send a screen picture, only the 40 characters their display
 * shows ("!S?"); a conversion library turns them into a picture file.
 *
 * The library is a shared object in the program folder named by [CONVLIB] NAME of the
 * instrument definition file (a name ending in ".DLL" is looked for with the platform's suffix,
 * ".so" here, case ignored). It exports one C function under the name below. The program loads
 * the library for one call and unloads it again, on its user-interface thread.
 */
#ifndef KTX_CONVERSION_H
#define KTX_CONVERSION_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Number of display characters handed over (without the terminating zero). */
#define KTX_DISPLAY_TEXT_LENGTH 40

/* Writes a picture of the display showing `displayText` (KTX_DISPLAY_TEXT_LENGTH 8-bit
 * characters, zero-terminated) into `targetFile` (created or overwritten) as an uncompressed
 * BMP file. Returns non-zero on success; on failure the file may be incomplete (the program
 * hands over a temporary file and keeps it only on success). */
typedef uint8_t (*KtxConvertDisplayFunction)(const char* displayText, const char* targetFile);
#define KTX_CONVERT_DISPLAY_SYMBOL "ktx_convert_display"

#if defined(_WIN32)
#define KTX_CONVERSION_EXPORT __declspec(dllexport)
#else
#define KTX_CONVERSION_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
}
#endif

#endif /* KTX_CONVERSION_H */
