#pragma once
// The fixed-size record of one printer: what the spooler (or, for an FTP
// printer, the printer itself) says of it, plus what the model table says
// of its model. Copied by value; every text is NUL-terminated and bounded.

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

class TDLPrinterList;

struct TPrinterEntry {
  char Name[261];      // spooler queue name; for an FTP printer the model text
  char Driver[261];    // driver (make and model) or the model name reported
  char Port[261];      // port list, "," separated; or the "ftp://" address
  char Location[261];
  char Comment[261];   // line breaks replaced by "/"
  char CodeText[261];  // model code as text (at most 31 bytes)
  std::int32_t Code;   // model code; 0 for an unlisted model
  std::int32_t Flag;   // command flag of the model
  std::int32_t Known;  // 1 when Driver is a row of the model table
  char Version[40];    // FTP printer: the second status value
};

// Copied by value between the application object, the views and scratch
// records: it must stay a plain record.
static_assert(std::is_trivially_copyable_v<TPrinterEntry>, "plain record");
static_assert(std::is_standard_layout_v<TPrinterEntry>, "plain record");

// Answers about a printer from its record alone, with the model fields
// (CodeText, Code, Flag, Known) already resolved from the model table
// (IsOnParallelPort below is one of them).

// 1 when the model is known and either takes the download command or the
// printer sits on a parallel port; else 0.
int CanUpdateOverConnection(const TPrinterEntry& record);
// 1 when one of the package's target model names resolves to the record's
// model code (a nonzero one) or to its code text (letter case counts);
// 0 for an empty target list.
int IsPackageTarget(const TPrinterEntry& record, const std::vector<std::string>& targets,
                    const TDLPrinterList& models);

namespace quillon {

// Text fields keep at most this many bytes (Version: kEntryVersionMax).
constexpr int kEntryTextMax = 259;
constexpr int kEntryVersionMax = 39;

// The first entry of the record's port list is a parallel port.
bool IsOnParallelPort(const TPrinterEntry& record);

}  // namespace quillon
