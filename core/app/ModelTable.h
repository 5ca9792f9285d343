#pragma once
// The model table: printer driver or model names mapped to a model code and
// a command flag. Built-in rows (string table ids 1..299) seed the section
// [Printers] of the settings file; the list in memory is rebuilt from there.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/app/PrinterEntry.h"

namespace platform { class ProfileFile; }

struct TModelEntry {
  char Name[32];       // at most 31 bytes; longer names are cut
  char CodeText[32];   // first field of the value, at most 31 bytes
  std::int32_t Code;   // first field as a decimal number, 0 when it is none
  std::int32_t Flag;   // 1 when the second field is the number 1
};

// Owns copies of the entries, in the order of the keys of [Printers].
class TDLPrinterList {
 public:
  void Add(const TModelEntry& entry);
  void Clear();
  std::size_t Count() const { return items_.size(); }
  // The entry at the index, or nullptr past the end.
  TModelEntry* Item(std::size_t index);
  const TModelEntry* Item(std::size_t index) const;
  // First entry whose Name equals text, ASCII letter case ignored; -1 if none.
  int IndexOf(std::string_view text) const;

 private:
  std::vector<std::unique_ptr<TModelEntry>> items_;
};

// Names offered by the model choice dialog, and the models whose start
// confirmation offers the initialisation items one by one; each list ends
// with an empty slot.
extern const char ModelNames[20][32];
extern const char DetailInitModels[6][32];
// Fills CodeText, Code, Flag and Known of the record from its Driver. 1.
int ResolveModel(const TDLPrinterList& list, TPrinterEntry& record);

namespace quillon {

extern const char kPrintersSection[];  // "Printers"

// Driver contains one of DetailInitModels (letter case counts).
bool IsDetailInitModel(std::string_view driver);

// One table row: name and value "code[,flag]".
TModelEntry MakeModelEntry(std::string_view name, std::string_view value);

// Writes the built-in rows that [Printers] lacks (absent or empty value).
// Only changes memory; the caller flushes once.
void SeedModelTable(platform::ProfileFile& ini);
// Seeds, flushes, and rebuilds list from the keys of [Printers].
void LoadModelTable(platform::ProfileFile& ini, TDLPrinterList& list);
// Writes package rows into [Printers], replacing rows of the same name.
void MergePackageModels(platform::ProfileFile& ini,
                        const std::vector<std::pair<std::string, std::string>>& rows);

}  // namespace quillon
