#include "core/command/ResultMessages.h"

#include "resources/StringTable.h"

namespace {
// The message box icons of the entries.
constexpr int MB_ICONSTOP = 0x10;
constexpr int MB_ICONINFORMATION = 0x40;
}  // namespace

TResultMessage ResultMessage(int code) {
  switch (code) {
    case 0: return {4113, MB_ICONINFORMATION, 2001};
    case 17: return {4114, MB_ICONSTOP, 2002};
    case 18: return {4118, MB_ICONSTOP, 2004};
    case 19: return {4353, MB_ICONSTOP, 0};
    case 32: return {4115, MB_ICONSTOP, 2005};
    case 33: return {4116, MB_ICONSTOP, 2005};
    case 34: return {4116, MB_ICONSTOP, 2005};
    case 35: return {4357, MB_ICONSTOP, 2010};
    case kResultNotFirmwareFormat: return {4123, MB_ICONINFORMATION, 9999};
    case 4096: return {4117, MB_ICONSTOP, 2008};
    default: return {4119, MB_ICONSTOP, 9999};
  }
}

std::string ResultText(const TResultMessage& m) { return LoadStr(m.messageId); }
