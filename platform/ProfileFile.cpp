#include "platform/ProfileFile.h"

#include "platform/Text.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_set>

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// One line as the profile functions see it.
struct Parsed {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // trimmed, quotes not yet removed
};

Parsed ParseLine(std::string_view line) {
  Parsed p;
  // A byte order mark left by an editor does not hide the first line.
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return p;
  if (t.front() == '[') {
    const size_t close = t.rfind(']');
    if (close != std::string_view::npos) {
      p.kind = Parsed::kSection;
      p.name = Trim(t.substr(1, close - 1));
    }
    return p;
  }
  const size_t eq = t.find('=');
  if (eq == std::string_view::npos) return p;
  p.name = Trim(t.substr(0, eq));
  if (p.name.empty()) return p;
  p.kind = Parsed::kKey;
  p.value = Trim(t.substr(eq + 1));
  return p;
}

std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v);
}

}  // namespace

std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string KeyOf(std::string_view section, std::string_view key) {
  return Fold(section) + '\n' + Fold(key);
}

// Lookups through the index; shared by the readers and writers.
struct ProfileFileAccess {
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // Index of the line holding the key in a section of that name, or kNone.
  static size_t FindKey(const ProfileFile& f, std::string_view section, std::string_view key) {
    f.BuildIndex();
    const auto it = f.keyAt_.find(KeyOf(section, key));
    return it == f.keyAt_.end() ? kNone : it->second;
  }

  // Where a new key goes: after the last non-blank line of the first block of
  // the section; kNone when the section does not exist.
  static size_t InsertPoint(const ProfileFile& f, std::string_view section) {
    f.BuildIndex();
    const auto it = f.sectionAt_.find(Fold(section));
    return it == f.sectionAt_.end() ? kNone : it->second.insertAt;
  }
};

void ProfileFile::BuildIndex() const {
  if (indexed_) return;
  keyAt_.clear();
  sectionAt_.clear();
  std::string section;
  bool inSection = false;
  SectionAt* firstBlock = nullptr;  // the section whose first block this is
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = ParseLine(lines_[i]);
    if (p.kind == Parsed::kSection) {
      section = Fold(p.name);
      inSection = true;
      const auto [it, added] = sectionAt_.emplace(section, SectionAt{i, i + 1});
      firstBlock = added ? &it->second : nullptr;
      continue;
    }
    if (firstBlock && !Trim(lines_[i]).empty()) firstBlock->insertAt = i + 1;
    if (inSection && p.kind == Parsed::kKey) keyAt_.emplace(section + '\n' + Fold(p.name), i);
  }
  indexed_ = true;
}

// A line was inserted at from: everything at or after it moves down one.
void ProfileFile::ShiftIndex(size_t from) const {
  for (auto& [name, at] : keyAt_) {
    if (at >= from) ++at;
  }
  for (auto& [name, at] : sectionAt_) {
    if (at.header >= from) ++at.header;
    if (at.insertAt > from) ++at.insertAt;
  }
}

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) {
  // Only a regular file is read: a folder or device behaves like no file.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path_, ec)) return;
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::string bytes;
  try {
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    return;  // unreadable: an empty profile
  }
  utf8Bom_ = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const size_t eof = bytes.find('\x1A');
  if (eof != std::string::npos) {
    tail_ = bytes.substr(eof);
    bytes.resize(eof);
  }
  const size_t first_lf = bytes.find('\n');
  if (first_lf != std::string::npos && first_lf > 0 && bytes[first_lf - 1] == '\r') eol_ = "\r\n";
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(std::move(line));
    start = end + 1;
  }
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
  const size_t i = ProfileFileAccess::FindKey(*this, section, key);
  if (i == ProfileFileAccess::kNone) return std::string(def);
  return Unquote(ParseLine(lines_[i]).value);
}

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const {
  return ProfileFileAccess::FindKey(*this, section, key) != ProfileFileAccess::kNone;
}

bool ProfileFile::HasSection(std::string_view section) const {
  BuildIndex();
  return sectionAt_.count(Fold(section)) != 0;
}

int ProfileFile::ReadProfileInt(std::string_view section, std::string_view key, int def) const {
  if (!HasKey(section, key)) return def;
  const std::string v = ReadString(section, key, "");
  if (v.empty()) return def;
  size_t i = 0;
  bool negative = false;
  if (v[i] == '-' || v[i] == '+') negative = (v[i++] == '-');
  int64_t n = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    n = n * 10 + (v[i] - '0');
    if (n > int64_t{INT_MAX} + 1) n = int64_t{INT_MAX} + 1;  // saturate, never overflow
  }
  if (negative) n = -n;
  if (n > INT_MAX) n = INT_MAX;
  return static_cast<int>(n);
}

int ProfileFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  const std::string v = ReadString(section, key, "");
  size_t i = 0;
  bool negative = false;
  if (i < v.size() && (v[i] == '-' || v[i] == '+')) negative = (v[i++] == '-');
  int base = 10;
  if (i < v.size() && v[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < v.size() && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= v.size()) return def;
  int64_t n = 0;
  for (; i < v.size(); ++i) {
    int d;
    const char c = v[i];
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return def;
    n = n * base + d;
    if (n > int64_t{UINT32_MAX}) return def;
  }
  if (base == 16 && !negative) return static_cast<int>(static_cast<uint32_t>(n));
  if (negative) n = -n;
  if (n < INT_MIN || n > INT_MAX) return def;
  return static_cast<int>(n);
}

bool ProfileFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> ProfileFile::ReadKeys(std::string_view section) const {
  std::vector<std::string> keys;
  std::unordered_set<std::string> seen;
  bool in = false;
  for (const std::string& line : lines_) {
    const Parsed p = ParseLine(line);
    if (p.kind == Parsed::kSection) {
      in = SameTextNoCase(p.name, section);
    } else if (in && p.kind == Parsed::kKey && seen.insert(Fold(p.name)).second) {
      keys.emplace_back(p.name);
    }
  }
  return keys;
}

std::vector<std::string> ProfileFile::ReadSections() const {
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  for (const std::string& line : lines_) {
    const Parsed p = ParseLine(line);
    if (p.kind == Parsed::kSection && seen.insert(Fold(p.name)).second) names.emplace_back(p.name);
  }
  return names;
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  key = Trim(key);
  section = Trim(section);
  // Whatever is written must read back as the same section and key from
  // the file: no line break, no end mark (reading stops there), and a line
  // that parses to the name given (a leading byte order mark would not).
  if (key.empty() || key.find('=') != std::string_view::npos || key.front() == '[' ||
      key.front() == ';' || HasLineBreak(key) || HasLineBreak(section) ||
      key.find('\x1A') != std::string_view::npos || section.find('\x1A') != std::string_view::npos ||
      section.find(']') != std::string_view::npos) {
    return false;
  }
  const std::string header = "[" + std::string(section) + "]";
  if (ParseLine(std::string(key) + "=").name != key || ParseLine(header).name != section) return false;
  const size_t br = value.find_first_of("\r\n\x1A");
  if (br != std::string_view::npos) value = value.substr(0, br);

  const size_t at = ProfileFileAccess::FindKey(*this, section, key);
  if (at != ProfileFileAccess::kNone) {
    // Keep the spelling of the key as the file has it.
    std::string line = std::string(ParseLine(lines_[at]).name) + "=" + std::string(value);
    if (line != lines_[at]) {
      lines_[at] = std::move(line);
      dirty_ = true;
    }
    return true;
  }
  std::string line = std::string(key) + "=" + std::string(value);
  const size_t ins = ProfileFileAccess::InsertPoint(*this, section);
  if (ins != ProfileFileAccess::kNone) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(ins), std::move(line));
    ShiftIndex(ins);
    keyAt_.emplace(KeyOf(section, key), ins);
    sectionAt_[Fold(section)].insertAt = ins + 1;
  } else {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back(header);
    lines_.push_back(std::move(line));
    sectionAt_.emplace(Fold(section), SectionAt{lines_.size() - 2, lines_.size()});
    keyAt_.emplace(KeyOf(section, key), lines_.size() - 1);
  }
  dirty_ = true;
  return true;
}

// One pass over the lines: a section repeated in many blocks (a hostile
// header can hold thousands) must not cost a re-index per deleted key.
void ProfileFile::DeleteKey(std::string_view section, std::string_view key) {
  std::vector<std::string> kept;
  kept.reserve(lines_.size());
  bool in = false;
  for (std::string& line : lines_) {
    const Parsed p = ParseLine(line);
    if (p.kind == Parsed::kSection) in = SameTextNoCase(p.name, section);
    if (in && p.kind == Parsed::kKey && SameTextNoCase(p.name, key)) {
      dirty_ = true;
    } else {
      kept.push_back(std::move(line));
    }
  }
  lines_ = std::move(kept);
  indexed_ = false;
}

void ProfileFile::DeleteSection(std::string_view section) {
  std::vector<std::string> kept;
  bool in = false;
  for (std::string& line : lines_) {
    const Parsed p = ParseLine(line);
    if (p.kind == Parsed::kSection) in = SameTextNoCase(p.name, section);
    if (in) {
      dirty_ = true;
    } else {
      kept.push_back(std::move(line));
    }
  }
  lines_ = std::move(kept);
  indexed_ = false;
}

bool ProfileFile::Flush() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const bool exists = fs::exists(path_, ec);
  if (!dirty_ && exists) return true;

  std::string bytes;
  for (const std::string& line : lines_) {
    bytes += line;
    bytes += eol_;
  }
  bytes += tail_;

  // Write beside the real file (a symbolic link is followed) so that the
  // rename stays within one file system and replaces it in one step.
  fs::path target = path_;
  if (fs::is_symlink(target, ec)) {
    const fs::path real = fs::canonical(target, ec);
    if (!ec) target = real;
  }
  const fs::path folder = target.parent_path();
  if (!folder.empty()) fs::create_directories(folder, ec);

  mode_t mode = 0666;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }

  std::string tmpl = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes.data(), bytes.size());
  ok = ok && ::fchmod(fd, mode) == 0;
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tmpl.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return false;
  }
  dirty_ = false;
  return true;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view def, const std::string& path) {
  return ProfileFile(path).ReadString(section, key, def);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int def,
                         const std::string& path) {
  return ProfileFile(path).ReadProfileInt(section, key, def);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path) {
  ProfileFile f(path);
  return f.WriteString(section, key, value) && f.Flush();
}

}  // namespace platform
