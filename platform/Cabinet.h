#pragma once
// Walks a cabinet file member by member and asks a callback what to do with
// each, in the manner of the setup library's cabinet iteration: the callback
// is told about the cabinet, then about each member (it fills in the member's
// target path and answers do it, skip or abort), then after each extraction.

#include <cstdint>
#include <string>

#include "platform/Error.h"

namespace platform {

// Notifications.
constexpr unsigned SPFILENOTIFY_CABINETINFO = 0x10;
constexpr unsigned SPFILENOTIFY_FILEINCABINET = 0x11;
constexpr unsigned SPFILENOTIFY_NEEDNEWCABINET = 0x12;
constexpr unsigned SPFILENOTIFY_FILEEXTRACTED = 0x13;

// Answers to SPFILENOTIFY_FILEINCABINET.
constexpr unsigned FILEOP_ABORT = 0;
constexpr unsigned FILEOP_DOIT = 1;
constexpr unsigned FILEOP_SKIP = 2;

// Error numbers of the walk (0 is success).
constexpr unsigned CAB_ERROR_FILE_NOT_FOUND = 2;   // cabinet cannot be opened
constexpr unsigned CAB_ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr unsigned CAB_ERROR_INVALID_DATA = 13;    // not a cabinet, or damaged
constexpr unsigned CAB_ERROR_WRITE_FAULT = 29;     // member could not be written
constexpr unsigned CAB_ERROR_TOO_LARGE = 223;      // would unpack past its limit
constexpr unsigned CAB_ERROR_OPERATION_ABORTED = 995;

// param1 of SPFILENOTIFY_CABINETINFO.
struct CabinetInfo {
  const char* CabinetPath;
  std::uint16_t SetId;
  std::uint16_t CabinetNumber;
};

// param1 of SPFILENOTIFY_FILEINCABINET; the callback sets FullTargetName.
struct FileInCabinetInfo {
  const char* NameInCabinet;     // exactly as stored (backslashes, any bytes)
  std::uint32_t FileSize;
  std::uint16_t DosAttribs;
  bool NameIsUtf8;               // the cabinet marks the name as UTF-8
  std::string FullTargetName;
};

// param1 of SPFILENOTIFY_FILEEXTRACTED.
struct FilePaths {
  const char* Target;
  const char* Source;            // the member's name in the cabinet
  unsigned Win32Error;           // 0, or why the member could not be written
};

using CabinetCallbackFn = unsigned (*)(void* context, unsigned notification,
                                       std::uintptr_t param1, std::uintptr_t param2);

// Walks the cabinet. 0 when it was read through and every member the callback
// accepted was written; else an error number (the walk goes on after a member
// that failed, whose partial output is removed, and reports the first error).
// error, when given, receives the number and its cause in words.
//
// What a walk may cost is bounded (UnpackLimits.h): the blocks are checked
// once before anything is extracted, members beyond kMaxCabinetMembers or
// announcing more than the byte limit refuse the cabinet, and members are
// extracted in folder order so the decoder never goes back over a folder.
// A stop request (RequestUnpackCancel) ends the walk with
// CAB_ERROR_OPERATION_ABORTED.
unsigned IterateCabinetFile(const std::string& cabinet, CabinetCallbackFn callback,
                            void* context, Error* error = nullptr);

}  // namespace platform
