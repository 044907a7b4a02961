// SPDX-License-Identifier: GPL-3.0-or-later
// XDR routines of the VXI-11 core calls the interface library makes.
#include "vxi11_protocol.h"

#include "ktx_link.h"

namespace ktx::linklib::vxi11 {

namespace {

bool_t Int(XDR* xdrs, std::int32_t* value) {
    return xdr_int32_t(xdrs, value);
}

bool_t Uint(XDR* xdrs, std::uint32_t* value) {
    return xdr_u_int32_t(xdrs, value);
}

}  // namespace

bool_t XdrCreateLinkArgs(XDR* xdrs, CreateLinkArgs* args) {
    if (xdrs->x_op != XDR_ENCODE) {
        return FALSE;  // the client only sends these
    }
    char* name = args->device.data();
    return Int(xdrs, &args->clientId) && Int(xdrs, &args->lockDevice) &&
           Uint(xdrs, &args->lockTimeout) &&
           xdr_string(xdrs, &name, static_cast<u_int>(args->device.size()));
}

bool_t XdrCreateLinkResult(XDR* xdrs, CreateLinkResult* result) {
    return Int(xdrs, &result->error) && Int(xdrs, &result->linkId) &&
           Uint(xdrs, &result->abortPort) && Uint(xdrs, &result->maxRecvSize);
}

bool_t XdrWriteArgs(XDR* xdrs, WriteArgs* args) {
    if (xdrs->x_op != XDR_ENCODE) {
        return FALSE;
    }
    char* data = const_cast<char*>(args->data);
    u_int size = args->size;
    return Int(xdrs, &args->linkId) && Uint(xdrs, &args->ioTimeout) &&
           Uint(xdrs, &args->lockTimeout) && Int(xdrs, &args->flags) &&
           xdr_bytes(xdrs, &data, &size, size);
}

bool_t XdrWriteResult(XDR* xdrs, WriteResult* result) {
    return Int(xdrs, &result->error) && Uint(xdrs, &result->size);
}

bool_t XdrReadArgs(XDR* xdrs, ReadArgs* args) {
    return Int(xdrs, &args->linkId) && Uint(xdrs, &args->requestSize) &&
           Uint(xdrs, &args->ioTimeout) && Uint(xdrs, &args->lockTimeout) &&
           Int(xdrs, &args->flags) && Int(xdrs, &args->termChar);
}

bool_t XdrReadResult(XDR* xdrs, ReadResult* result) {
    if (!Int(xdrs, &result->error) || !Int(xdrs, &result->reason)) {
        return FALSE;
    }
    if (xdrs->x_op != XDR_DECODE) {
        return FALSE;
    }
    // Decoded into the caller's buffer; more data than asked for is a broken reply (xdr_bytes
    // refuses a length above the capacity before it copies anything).
    char* data = result->buffer;
    u_int size = 0;
    if (!xdr_bytes(xdrs, &data, &size, result->capacity)) {
        return FALSE;
    }
    result->size = size;
    return TRUE;
}

bool_t XdrGenericArgs(XDR* xdrs, GenericArgs* args) {
    return Int(xdrs, &args->linkId) && Int(xdrs, &args->flags) && Uint(xdrs, &args->lockTimeout) &&
           Uint(xdrs, &args->ioTimeout);
}

bool_t XdrLinkId(XDR* xdrs, std::int32_t* linkId) {
    return Int(xdrs, linkId);
}

bool_t XdrDeviceError(XDR* xdrs, std::int32_t* error) {
    return Int(xdrs, error);
}

bool_t XdrPortMapping(XDR* xdrs, PortMapping* mapping) {
    return Uint(xdrs, &mapping->program) && Uint(xdrs, &mapping->version) &&
           Uint(xdrs, &mapping->protocol) && Uint(xdrs, &mapping->port);
}

bool_t XdrUnsigned(XDR* xdrs, std::uint32_t* value) {
    return Uint(xdrs, value);
}

std::int32_t OpenFailureForError(std::int32_t error) {
    switch (error) {
        case kDeviceNotAccessible:
        case kParameterError:
            return KTX_LINK_E_NOT_FOUND;  // no device of that name behind the address
        case kDeviceLocked:
            return KTX_LINK_E_BUSY;
        case kIoTimeout:
            return KTX_LINK_E_TIMEOUT;
        default:
            return KTX_LINK_E_SYSTEM;
    }
}

}  // namespace ktx::linklib::vxi11
