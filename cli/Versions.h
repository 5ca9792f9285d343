#pragma once
// Firmware version numbers as printers and packages write them ("2.10",
// "V2.05", "02.10a"), compared by their numbered parts.

#include <string>

namespace cli {

// The comparable form: blanks and a leading "V", "Ver" or "Version" (any
// letter case) dropped; parts split at "."; each part's leading zeros
// dropped and letters lowered; trailing parts that are 0 dropped. ""
// when the text holds no digit (not comparable).
std::string NormaliseVersion(const std::string& text);

// -1, 0 or 1 as a is older than, equal to or newer than b; parts compare
// by their number first, then by what follows it as text. False when
// either is not comparable.
bool CompareVersions(const std::string& a, const std::string& b, int& order);

}  // namespace cli
