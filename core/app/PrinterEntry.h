#pragma once
// The fixed-size record of one printer: what the spooler (or, for an FTP
// printer, the printer itself) says of it, plus what the model table says
// of its model. Copied by value; every text is NUL-terminated and bounded.

#include <cstdint>
#include <type_traits>

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

// Text fields keep at most this many bytes (Version: kVersionMax).
constexpr int kEntryTextMax = 259;
constexpr int kEntryVersionMax = 39;

// Copied by value between the application object, the views and scratch
// records: it must stay a plain record.
static_assert(std::is_trivially_copyable_v<TPrinterEntry>, "plain record");
static_assert(std::is_standard_layout_v<TPrinterEntry>, "plain record");
