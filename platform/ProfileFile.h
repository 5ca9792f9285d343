#pragma once
// Profile (INI) files with the semantics of the Windows profile functions:
// sections and keys match without regard to ASCII case, blanks around keys
// and values are trimmed, a value in one pair of matching quotes loses them,
// and reading stops at the first 0x1A byte (a package header's binary tail).
// Texts are bytes (UTF-8 in this program); nothing is re-encoded here.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

class ProfileFile {
 public:
  // Reads the file now; an absent or unreadable file is an empty profile.
  explicit ProfileFile(std::string path);

  const std::string& Path() const { return path_; }
  // The file begins with a UTF-8 byte order mark.
  bool HasUtf8Bom() const { return utf8Bom_; }

  // GetPrivateProfileString: the value, or def when the key is absent.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;
  // GetPrivateProfileInt: leading decimal digits (after an optional sign),
  // 0 when there are none; def when the key is absent or its value empty.
  int ReadProfileInt(std::string_view section, std::string_view key, int def) const;
  // The framework's integer read: a value that is not a whole decimal (or
  // 0x hex) number gives def.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // The framework's on/off read: ReadInteger(def ? 1 : 0) != 0.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // The keys of a section in file order (first spelling of each key).
  std::vector<std::string> ReadKeys(std::string_view section) const;
  std::vector<std::string> ReadSections() const;

  // WritePrivateProfileString, in memory: replaces the key in place, appends
  // it to its section, or appends a new section. Flush() stores it. A value
  // is cut at its first line break or 0x1A (it could not be read back
  // otherwise); a key that is empty or holds "=", or a name with a line
  // break, 0x1A or a leading byte order mark, is refused (false).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  void DeleteKey(std::string_view section, std::string_view key);
  void DeleteSection(std::string_view section);

  // Writes the file if changed: to a temporary file in the same folder,
  // renamed over the old one. Creates the file (and its folder) when
  // missing; bytes from the first 0x1A on are written back unchanged.
  // false on error.
  bool Flush();
  bool Dirty() const { return dirty_; }

 private:
  std::string path_;
  std::vector<std::string> lines_;  // raw lines as read, without line ends
  std::string tail_;                // from the first 0x1A to the end, kept as is
  std::string eol_ = "\n";          // line end of the file as found
  bool dirty_ = false;
  bool utf8Bom_ = false;

  // Where keys and sections are, built on the first lookup so that reading
  // N keys costs N lookups, not N scans of the file. Kept up to date by
  // inserts; other edits drop it.
  struct SectionAt {
    size_t header;    // line of the section's first header
    size_t insertAt;  // after the last non-blank line of its first block
  };
  mutable bool indexed_ = false;
  mutable std::unordered_map<std::string, size_t> keyAt_;  // "section\nkey", folded
  mutable std::unordered_map<std::string, SectionAt> sectionAt_;  // folded name
  void BuildIndex() const;
  void ShiftIndex(size_t from) const;
  // helpers live in the .cpp
  friend struct ProfileFileAccess;
};

// One-shot calls with the shape of the Windows functions: each reads the
// file anew; the write stores it at once.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view def, const std::string& path);
int GetPrivateProfileInt(std::string_view section, std::string_view key, int def,
                         const std::string& path);
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path);

}  // namespace platform
