#pragma once
// The browse dialog lives in a module of its own (libquillon-browse.so, in
// the folder "quillon" beside the library), so that loading the library
// loads no widget library; QUILLON_SelectPrinter loads the module on its
// first call and calls its one entry.
#include <stdint.h>

#include "netlib/quillon.h"

extern "C" {
// QUILLON_SelectPrinter's contract, except that the error it would leave
// (122) is stored in *error instead of the caller's thread state, which
// belongs to the library.
QUILLON_API int QUILLON_BrowseSelectPrinter(void* owner, char* path, uint32_t size,
                                            uint32_t* length, uint32_t* error);
}

namespace quillon::net {

using BrowseEntry = int (*)(void*, char*, uint32_t, uint32_t*, uint32_t*);
inline constexpr const char* kBrowseEntryName = "QUILLON_BrowseSelectPrinter";
// Relative to the folder the library was loaded from.
inline constexpr const char* kBrowseModulePath = "quillon/libquillon-browse.so";

}  // namespace quillon::net
