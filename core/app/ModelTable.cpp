#include "core/app/ModelTable.h"

#include "core/app/TextUtil.h"
#include "platform/ProfileFile.h"
#include "resources/StringTable.h"

using platform::SameTextNoCase;
using quillon::FieldText;
using quillon::SetField;

const char ModelNames[20][32] = {
    "RX-110", "RX-120", "RX-130", "RX-140", "RX-150", "RX-D20", "RX-D25",
    "KV2",    "KV2-A",  "KV2-B",  "KV3",    "KV31",   "KV33",   "KV40",
    "KV10",   "KV15",   "KV41",   "KV15-Y", "KV16",   ""};

const char DetailInitModels[6][32] = {"KV10", "KV15", "KV41", "KV15-Y", "KV16", ""};

void TDLPrinterList::Add(const TModelEntry& entry) {
  items_.push_back(std::make_unique<TModelEntry>(entry));
}

void TDLPrinterList::Clear() {
  while (!items_.empty()) items_.pop_back();
}

TModelEntry* TDLPrinterList::Item(std::size_t index) {
  return index < items_.size() ? items_[index].get() : nullptr;
}

const TModelEntry* TDLPrinterList::Item(std::size_t index) const {
  return index < items_.size() ? items_[index].get() : nullptr;
}

int TDLPrinterList::IndexOf(std::string_view text) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (SameTextNoCase(FieldText(items_[i]->Name), text)) return static_cast<int>(i);
  }
  return -1;
}

int ResolveModel(const TDLPrinterList& list, TPrinterEntry& record) {
  const int i = list.IndexOf(FieldText(record.Driver));
  const TModelEntry* e = i >= 0 ? list.Item(static_cast<std::size_t>(i)) : nullptr;
  if (!e) {
    record.CodeText[0] = '\0';
    record.Code = 0;
    record.Flag = 0;
    record.Known = 0;
    return 1;
  }
  SetField(record.CodeText, FieldText(e->CodeText));
  record.Code = e->Code;
  record.Flag = e->Flag;
  record.Known = 1;
  return 1;
}

namespace quillon {

const char kPrintersSection[] = "Printers";

bool IsDetailInitModel(std::string_view driver) {
  for (const auto& name : DetailInitModels) {
    if (name[0] == '\0') break;
    if (driver.find(name) != std::string_view::npos) return true;
  }
  return false;
}

TModelEntry MakeModelEntry(std::string_view name, std::string_view value) {
  TModelEntry e{};
  SetField(e.Name, name);
  const auto tokens = Tokenize(Utf8Cut(value, 255), ',');
  if (!tokens.empty()) {
    SetField(e.CodeText, tokens[0]);
    e.Code = LeadingInt(tokens[0]);
  }
  e.Flag = (tokens.size() > 1 && LeadingInt(tokens[1]) == 1) ? 1 : 0;
  return e;
}

void SeedModelTable(platform::ProfileFile& ini) {
  for (int id = 1; id <= 299; ++id) {
    const std::string row = LoadStr(id);
    const std::size_t eq = row.find('=');
    if (row.empty() || eq == std::string::npos || eq == 0) continue;
    const std::string name = row.substr(0, eq);
    std::string value = row.substr(eq + 1);
    value = value.substr(0, value.find('='));
    const std::string stored = ini.ReadString(kPrintersSection, name, "");
    if (Utf8Cut(stored, 255).empty()) ini.WriteString(kPrintersSection, name, value);
  }
}

void LoadModelTable(platform::ProfileFile& ini, TDLPrinterList& list) {
  list.Clear();
  SeedModelTable(ini);
  ini.Flush();  // a failed write leaves the table in memory all the same
  for (const std::string& key : ini.ReadKeys(kPrintersSection)) {
    list.Add(MakeModelEntry(key, ini.ReadString(kPrintersSection, key, "?")));
  }
}

void MergePackageModels(platform::ProfileFile& ini,
                        const std::vector<std::pair<std::string, std::string>>& rows) {
  for (const auto& row : rows) ini.WriteString(kPrintersSection, row.first, row.second);
  ini.Flush();
}

}  // namespace quillon
