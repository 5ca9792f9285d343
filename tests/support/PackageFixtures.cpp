#include "tests/support/PackageFixtures.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>

#include <QByteArray>

#include "platform/CabinetChecksum.h"
#include "platform/TempNames.h"
#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;

namespace package_test {

std::string Header(const std::vector<std::string>& lines) {
  std::string s = "[RX_DownLoad]\r\n";
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

std::string Put(const std::string& dir, const std::string& name, const std::string& bytes) {
  const std::string path = dir + "/" + name;
  fs::create_directories(fs::path(path).parent_path());
  quillon_test::WriteFileBytes(path, bytes);
  return path;
}

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  std::uint32_t x = 2463534242u ^ (seed * 2654435761u);
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

std::string Gcab(const std::string& dir, const std::string& cabName,
                 const std::vector<std::string>& members, bool mszip) {
  std::string cmd = "cd '" + dir + "' && gcab -c " + (mszip ? "-z " : "") + "'" + cabName + "'";
  for (const std::string& m : members) cmd += " '" + m + "'";
  cmd += " >/dev/null 2>&1";
  return quillon_test::RunCommand(cmd) == 0 ? dir + "/" + cabName : std::string();
}

std::string Mscompress(const std::string& path, const std::string& outPath) {
  if (quillon_test::RunCommand("mscompress '" + path + "' >/dev/null 2>&1") != 0) return {};
  std::error_code ec;
  fs::rename(path + "_", outPath, ec);  // the tool appends '_' to the name
  return ec ? std::string() : outPath;
}

namespace {
void U16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void U32(std::string& s, std::uint32_t v) {
  U16(s, v & 0xFFFF);
  U16(s, v >> 16);
}

// The cabinet's fixed header: total size, where the file entries start,
// the folder and file counts; no flags, set 0x1234, cabinet 0.
std::string CabinetHeader(std::uint32_t total, std::uint32_t coffFiles, unsigned folders,
                          unsigned files) {
  std::string cab = "MSCF";
  U32(cab, 0);
  U32(cab, total);
  U32(cab, 0);
  U32(cab, coffFiles);
  U32(cab, 0);
  cab += '\x03';
  cab += '\x01';
  U16(cab, folders);
  U16(cab, files);
  U16(cab, 0);       // flags
  U16(cab, 0x1234);  // set id
  U16(cab, 0);       // cabinet number
  return cab;
}
}  // namespace

std::string StoredCabinet(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string files, data;
  for (const auto& [name, content] : members) {
    U32(files, static_cast<std::uint32_t>(content.size()));  // cbFile
    U32(files, static_cast<std::uint32_t>(data.size()));     // uoffFolderStart
    U16(files, 0);                                           // iFolder
    U16(files, 0x5A21);                                      // date
    U16(files, 0);                                           // time
    U16(files, 0x20);                                        // attribs
    files += name;
    files += '\0';
    data += content;
  }
  const std::uint32_t header = 36, folder = 8;
  const std::uint32_t coffFiles = header + folder;
  const std::uint32_t coffData = coffFiles + static_cast<std::uint32_t>(files.size());
  // Stored data in blocks of at most 32 KiB, no checksums.
  std::string blocks;
  unsigned count = 0;
  for (size_t at = 0; at < data.size() || count == 0; at += 32768) {
    const std::string chunk = data.substr(at, 32768);
    U32(blocks, 0);
    U16(blocks, static_cast<unsigned>(chunk.size()));
    U16(blocks, static_cast<unsigned>(chunk.size()));
    blocks += chunk;
    ++count;
    if (data.empty()) break;
  }
  std::string cab = CabinetHeader(coffData + static_cast<std::uint32_t>(blocks.size()), coffFiles,
                                  1, static_cast<unsigned>(members.size()));
  U32(cab, coffData);
  U16(cab, count);
  U16(cab, 0);                                           // no compression
  return cab + files + blocks;
}

namespace {

struct CabFile {
  std::uint32_t length, offset;
  std::string name;
};

// A cabinet of one set of folders (all starting at the data area, each with
// blockCount blocks) and the given members; blocks are written as given.
std::string RawCabinet(unsigned folders, unsigned blockCount, unsigned compression,
                       const std::vector<CabFile>& members, const std::string& blocks) {
  std::string files;
  for (const CabFile& m : members) {
    U32(files, m.length);
    U32(files, m.offset);
    U16(files, 0);
    U16(files, 0x5A21);
    U16(files, 0);
    U16(files, 0x20);
    files += m.name;
    files += '\0';
  }
  const std::uint32_t coffFiles = 36 + 8 * folders;
  const std::uint32_t coffData = coffFiles + static_cast<std::uint32_t>(files.size());
  std::string cab = CabinetHeader(coffData + static_cast<std::uint32_t>(blocks.size()), coffFiles,
                                  folders, static_cast<unsigned>(members.size()));
  for (unsigned i = 0; i < folders; ++i) {
    U32(cab, coffData);
    U16(cab, blockCount);
    U16(cab, compression);
  }
  return cab + files + blocks;
}

}  // namespace

std::string SharedBlocksCabinet() {
  const std::string blocks(8 * 65535, '\0');  // no checksum, no data, no output
  return RawCabinet(65535, 65535, 0, {{0, 0, "A"}}, blocks);
}

std::string ZeroBombCabinet(unsigned blocks, unsigned members) {
  // qCompress gives a length, a zlib header, the raw deflate data and a
  // checksum; an MSZIP block is "CK" and the raw deflate data.
  const QByteArray z = qCompress(QByteArray(32768, '\0'), 9);
  const std::string deflate = z.mid(6, z.size() - 10).toStdString();
  std::string data;
  for (unsigned b = 0; b < blocks; ++b) {
    U32(data, 0);
    U16(data, static_cast<unsigned>(deflate.size() + 2));
    U16(data, 32768);
    data += "CK" + deflate;
  }
  std::vector<CabFile> files;
  for (unsigned m = 0; m < members; ++m) files.push_back({blocks * 32768u, 0, "M" + std::to_string(m)});
  return RawCabinet(1, blocks, 1, files, data);
}

std::string MszipCabinet(const std::vector<RawBlock>& blocks,
                         const std::vector<std::pair<std::string, std::uint32_t>>& members,
                         bool checksums) {
  std::string data;
  for (const RawBlock& b : blocks) {
    std::string sizes;
    U16(sizes, static_cast<unsigned>(b.bytes.size()));
    U16(sizes, b.stated);
    const auto* bytes = reinterpret_cast<const unsigned char*>(b.bytes.data());
    U32(data, checksums ? platform::CabinetChecksum(reinterpret_cast<const unsigned char*>(sizes.data()), 4,
                                                    platform::CabinetChecksum(bytes, b.bytes.size(), 0))
                        : 0);
    data += sizes + b.bytes;
  }
  std::vector<CabFile> files;
  std::uint32_t at = 0;
  for (const auto& [name, length] : members) {
    files.push_back({length, at, name});
    at += length;
  }
  return RawCabinet(1, static_cast<unsigned>(blocks.size()), 1, files, data);
}

std::string RereadCabinet(unsigned blocks, unsigned members) {
  std::string data;
  for (unsigned b = 0; b < blocks; ++b) {
    U32(data, 0);
    U16(data, 32768);
    U16(data, 32768);
    data += Pattern(32768, b);
  }
  std::vector<CabFile> files;
  for (unsigned m = 0; m < members; ++m) files.push_back({1, blocks * 32768u - 1, "M" + std::to_string(m)});
  return RawCabinet(1, blocks, 0, files, data);
}

std::string SzddAnnouncing(std::uint32_t length) {
  std::string s = "SZDD\x88\xF0\x27\x33";
  s += 'A';   // compression mode
  s += '_';   // last character of the name
  U32(s, length);
  return s + std::string("\xFF" "abcdefgh", 9);
}

std::vector<std::string> WorkLeftovers() {
  std::vector<std::string> left;
  std::error_code ec;
  for (auto it = fs::directory_iterator(platform::TempFolder(), ec);
       !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind("dwn", 0) == 0) left.push_back(name);
  }
  return left;
}

std::vector<std::string> FilesBelow(const std::string& root) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec)) out.push_back(fs::relative(it->path(), root).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace package_test
