// SPDX-License-Identifier: GPL-3.0-or-later
// The VXI-11 core channel as the client sees it: program and procedure numbers, flags and
// reasons, the argument and result records of the calls the interface library makes, their
// XDR routines (for libtirpc's clnt_call) and what the device's error codes mean for the link.
//
// Records and numbers follow the published VXI-11 standard (VXIbus TCP/IP Instrument
// Protocol, rev. 1.0): all integers are 32 bits on the wire, opaque data is length-prefixed and
// padded to four bytes.
#pragma once

#include <rpc/rpc.h>

#include <cstdint>
#include <string>

namespace ktx::linklib::vxi11 {

constexpr std::uint32_t kCoreProgram = 0x0607AF;
constexpr std::uint32_t kCoreVersion = 1;
constexpr std::uint32_t kPortMapperProgram = 100000;
constexpr std::uint32_t kPortMapperVersion = 2;
constexpr std::uint32_t kPortMapperGetPort = 3;
constexpr std::uint32_t kPortMapperPort = 111;
constexpr std::uint32_t kIpProtocolTcp = 6;

enum Procedure : std::uint32_t {
    kCreateLink = 10,
    kDeviceWrite = 11,
    kDeviceRead = 12,
    kDeviceClear = 15,
    kDestroyLink = 23,
};

// Device_Flags
constexpr std::int32_t kFlagWaitLock = 1;
constexpr std::int32_t kFlagEnd = 8;
constexpr std::int32_t kFlagTermCharSet = 128;
// Device_ReadResp reason bits
constexpr std::int32_t kReasonRequestCount = 1;
constexpr std::int32_t kReasonTermChar = 2;
constexpr std::int32_t kReasonEnd = 4;

// Device_ErrorCode values the link tells apart.
enum ErrorCode : std::int32_t {
    kNoError = 0,
    kSyntaxError = 1,
    kDeviceNotAccessible = 3,
    kInvalidLinkId = 4,
    kParameterError = 5,
    kOutOfResources = 9,
    kDeviceLocked = 11,
    kIoTimeout = 15,
    kIoError = 17,
    kAbort = 23,
};

struct CreateLinkArgs {
    std::int32_t clientId = 0;
    std::int32_t lockDevice = 0;
    std::uint32_t lockTimeout = 0;
    std::string device;
};
struct CreateLinkResult {
    std::int32_t error = 0;
    std::int32_t linkId = 0;
    std::uint32_t abortPort = 0;
    std::uint32_t maxRecvSize = 0;
};

struct WriteArgs {
    std::int32_t linkId = 0;
    std::uint32_t ioTimeout = 0;
    std::uint32_t lockTimeout = 0;
    std::int32_t flags = 0;
    const char* data = nullptr;
    std::uint32_t size = 0;
};
struct WriteResult {
    std::int32_t error = 0;
    std::uint32_t size = 0;
};

struct ReadArgs {
    std::int32_t linkId = 0;
    std::uint32_t requestSize = 0;
    std::uint32_t ioTimeout = 0;
    std::uint32_t lockTimeout = 0;
    std::int32_t flags = 0;
    std::int32_t termChar = 0;
};
// The data go straight into the caller's buffer: set `buffer` and `capacity` before the call.
struct ReadResult {
    std::int32_t error = 0;
    std::int32_t reason = 0;
    char* buffer = nullptr;
    std::uint32_t capacity = 0;
    std::uint32_t size = 0;
};

struct GenericArgs {
    std::int32_t linkId = 0;
    std::int32_t flags = 0;
    std::uint32_t lockTimeout = 0;
    std::uint32_t ioTimeout = 0;
};

struct PortMapping {
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t protocol = 0;
    std::uint32_t port = 0;
};

// XDR routines, in the form clnt_call() takes (cast to xdrproc_t).
bool_t XdrCreateLinkArgs(XDR* xdrs, CreateLinkArgs* args);
bool_t XdrCreateLinkResult(XDR* xdrs, CreateLinkResult* result);
bool_t XdrWriteArgs(XDR* xdrs, WriteArgs* args);
bool_t XdrWriteResult(XDR* xdrs, WriteResult* result);
bool_t XdrReadArgs(XDR* xdrs, ReadArgs* args);
bool_t XdrReadResult(XDR* xdrs, ReadResult* result);
bool_t XdrGenericArgs(XDR* xdrs, GenericArgs* args);
bool_t XdrLinkId(XDR* xdrs, std::int32_t* linkId);
bool_t XdrDeviceError(XDR* xdrs, std::int32_t* error);
bool_t XdrPortMapping(XDR* xdrs, PortMapping* mapping);
bool_t XdrUnsigned(XDR* xdrs, std::uint32_t* value);

// The KTX_LINK_* cause of a create_link that the device refused.
std::int32_t OpenFailureForError(std::int32_t error);

}  // namespace ktx::linklib::vxi11
