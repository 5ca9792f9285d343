#pragma once
#include <vector>

namespace quillon::net {

// One line of a directory listing.
struct FtpListEntry {
  char Name[256] = {};
  int Size = 0;
  int Day = 0;
  int Month = 0;  // 1..12
  int Year = 0;   // four digits
  int Hour = 0;
  int Minute = 0;
  int Directory = 0;  // 0 or 1
};

// Parses a listing line without its line end: a line whose first character
// is a digit in the DOS layout ("01-31-99  10:15AM  <DIR>  name"), any other
// in the Unix layout ("drwxr-xr-x 2 u g 4096 Jan 31 10:15 name").
// currentYear stands for the year of Unix lines that show a time.
FtpListEntry ParseListLine(const char* line, int currentYear);

// Collects a listing line by line: the first line that begins with "total"
// (any case) is the listing's block count, not an entry.
class ListingBuilder {
 public:
  ListingBuilder(std::vector<FtpListEntry>& entries, int currentYear)
      : entries_(entries), currentYear_(currentYear) {}
  void Add(const char* line);

 private:
  std::vector<FtpListEntry>& entries_;
  int currentYear_;
  bool skippedTotal_ = false;
};

}  // namespace quillon::net
