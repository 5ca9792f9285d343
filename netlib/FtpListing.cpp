#include "netlib/FtpListing.h"

#include <cctype>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

namespace quillon::net {
namespace {

// Fields longer than this are not taken into a number.
constexpr size_t kNumberField = 31;

std::vector<std::string> SplitFields(const char* line) {
  std::vector<std::string> fields;
  const char* p = line;
  while (*p) {
    while (*p == ' ') ++p;
    if (!*p) break;
    const char* start = p;
    while (*p && *p != ' ') ++p;
    fields.emplace_back(start, static_cast<size_t>(p - start));
  }
  return fields;
}

// Leading decimal digits of text as an int (clamped), 0 when none.
int LeadingNumber(const char* text) {
  long long value = 0;
  while (*text >= '0' && *text <= '9') {
    value = value * 10 + (*text - '0');
    if (value > 0x7fffffff) return 0x7fffffff;
    ++text;
  }
  return static_cast<int>(value);
}

int NumberField(const std::vector<std::string>& fields, size_t index, int fallback) {
  if (index >= fields.size() || fields[index].size() > kNumberField) return fallback;
  return LeadingNumber(fields[index].c_str());
}

void TakeName(const std::vector<std::string>& fields, size_t index, FtpListEntry& entry) {
  if (index >= fields.size() || fields[index].size() >= sizeof(entry.Name)) return;
  std::memcpy(entry.Name, fields[index].c_str(), fields[index].size() + 1);
}

void ParseDos(const std::vector<std::string>& fields, FtpListEntry& entry) {
  entry.Hour = 12;
  entry.Minute = 0;
  TakeName(fields, 3, entry);
  if (fields.size() > 2 && fields[2].size() <= kNumberField) {
    const std::string& mark = fields[2];
    if (mark.size() >= 2 && (mark[1] == 'd' || mark[1] == 'D'))
      entry.Directory = 1;
    else
      entry.Size = LeadingNumber(mark.c_str());
  }
  if (!fields.empty() && fields[0].size() <= kNumberField) {
    const std::string& date = fields[0];
    entry.Month = LeadingNumber(date.c_str());
    const size_t dash = date.find('-');
    if (dash != std::string::npos) entry.Day = LeadingNumber(date.c_str() + dash + 1);
    if (date.size() >= 8) {
      const char yy[3] = {date[6], date[7], '\0'};
      const int year = LeadingNumber(yy);
      entry.Year = year >= 70 ? 1900 + year : 2000 + year;
    }
  }
  if (fields.size() > 1 && fields[1].size() <= kNumberField) {
    const std::string& time = fields[1];
    entry.Hour = LeadingNumber(time.c_str());
    if (time.size() >= 5) {
      const char mm[3] = {time[3], time[4], '\0'};
      entry.Minute = LeadingNumber(mm);
    }
  }
}

int MonthNumber(const std::string& text) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i) {
    if (text.size() == 3 && strncasecmp(text.c_str(), kMonths[i], 3) == 0) return i + 1;
  }
  return 1;
}

void ParseUnix(const char* line, const std::vector<std::string>& fields, int currentYear,
               FtpListEntry& entry) {
  TakeName(fields, 8, entry);
  entry.Directory = (line[0] == 'd' || line[0] == 'D') ? 1 : 0;
  entry.Size = NumberField(fields, 4, 0);
  entry.Month = fields.size() > 5 ? MonthNumber(fields[5]) : 1;
  entry.Day = NumberField(fields, 6, 0);
  if (fields.size() > 7 && fields[7].size() <= kNumberField) {
    const std::string& when = fields[7];
    const size_t colon = when.find(':');
    if (colon != std::string::npos) {
      entry.Year = currentYear;
      entry.Hour = LeadingNumber(when.c_str());
      entry.Minute = LeadingNumber(when.c_str() + colon + 1);
    } else {
      entry.Year = LeadingNumber(when.c_str());
    }
  }
}

}  // namespace

FtpListEntry ParseListLine(const char* line, int currentYear) {
  FtpListEntry entry;
  if (line == nullptr) return entry;
  const std::vector<std::string> fields = SplitFields(line);
  if (line[0] >= '0' && line[0] <= '9')
    ParseDos(fields, entry);
  else
    ParseUnix(line, fields, currentYear, entry);
  return entry;
}

void ListingBuilder::Add(const char* line) {
  if (!skippedTotal_ && strncasecmp(line, "total", 5) == 0) {
    skippedTotal_ = true;
    return;
  }
  entries_.push_back(ParseListLine(line, currentYear_));
}

}  // namespace quillon::net
