#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quillon::net {

// The bytes a store sends: the local job file, or a stand-in in tests.
class ChunkSource {
 public:
  virtual ~ChunkSource() = default;
  virtual bool Open() = 0;
  // Length in bytes of the opened source.
  virtual int64_t Length() const = 0;
  // Up to n bytes; 0 at the end, -1 when reading failed.
  virtual long Read(char* bytes, size_t n) = 0;
  virtual void Close() = 0;
};

// A local file opened read-only in binary mode; others may go on reading
// and writing it meanwhile.
class LocalFileSource : public ChunkSource {
 public:
  explicit LocalFileSource(std::string path) : path_(std::move(path)) {}
  ~LocalFileSource() override { Close(); }
  bool Open() override;
  int64_t Length() const override { return length_; }
  long Read(char* bytes, size_t n) override;
  void Close() override;

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  int64_t length_ = 0;
};

}  // namespace quillon::net
