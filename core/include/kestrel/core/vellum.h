// The Vellumhall library: an outside library that makes the EJCL texts of
// N-up, host address, host name and job owner. The EJCL writer loads it once
// per header from the driver directory under the model's library name
// (description data DLL name selector 3: "kvellum.dll" for model A, none for
// model B), looks its five functions up by name at each use and frees it at
// the end of the header.
//
// Each function fills an ANSI buffer of the size passed and answers nonzero
// on success. The texts are the library's own.
//
// Decisions:
//  - The functions take no arguments beyond those listed here.
//  - A text that fills the whole buffer without a NUL is a failing call
//    (it may have been cut), as is a zero answer.
#pragma once

#include "kplatform/wintypes.h"

#define VELLUM_DLL_SELECTOR 3

typedef BOOL (*VHGetEJCLStringOfNupFn)(int code, char* buffer, int size);
typedef BOOL (*VHGetEJCLStringOfHostAddressFn)(char* buffer, int size);
typedef BOOL (*VHGetEJCLStringOfHostNameExFn)(int kind, char* buffer, int size, int flags);
typedef BOOL (*VHGetEJCLStringOfJobOwnerFromInputAFn)(int kind, const char* name, int layout, int bin, char* buffer,
                                                       int size);
typedef BOOL (*VHGetEJCLStringOfJobOwnerStringFromUserHostNameFn)(int kind, int layout, int bin, char* buffer,
                                                                  int size);

#define VELLUM_NUP "VHGetEJCLStringOfNup"
#define VELLUM_HOST_ADDRESS "VHGetEJCLStringOfHostAddress"
#define VELLUM_HOST_NAME "VHGetEJCLStringOfHostNameEx"
#define VELLUM_OWNER_FROM_INPUT "VHGetEJCLStringOfJobOwnerFromInputA"
#define VELLUM_OWNER_FROM_USER_HOST "VHGetEJCLStringOfJobOwnerStringFromUserHostName"

// Buffer sizes the writer passes.
#define VELLUM_NUP_SIZE 18
#define VELLUM_HOST_ADDRESS_SIZE 28
#define VELLUM_HOST_NAME_SIZE 47
#define VELLUM_OWNER_SIZE 47
#define VELLUM_HOST_NAME_KIND 32
