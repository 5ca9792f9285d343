#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

namespace quillon::net {

// The bytes a store sends: the local job file, or a stand-in in tests.
class ChunkSource {
 public:
  virtual ~ChunkSource() = default;
  virtual bool Open() = 0;
  // Length in bytes of the opened source.
  virtual int64_t Length() const = 0;
  // Up to n bytes (fewer only at the end); 0 at the end, -1 when reading
  // failed.
  virtual long Read(char* bytes, size_t n) = 0;
  virtual void Close() = 0;
  // Why the last Open or Read failed, in words.
  virtual std::string ErrorText() const { return {}; }
  // An open regular file the system may send straight from; -1 for none.
  virtual int FileFd() const { return -1; }
};

// A local file opened read-only; others may go on reading and writing it
// meanwhile.
class LocalFileSource : public ChunkSource {
 public:
  explicit LocalFileSource(std::string path) : path_(std::move(path)) {}
  bool Open() override;
  int64_t Length() const override { return length_; }
  long Read(char* bytes, size_t n) override;
  void Close() override { fd_.Reset(); }
  std::string ErrorText() const override { return error_; }
  int FileFd() const override { return fd_.get(); }

 private:
  std::string path_;
  platform::UniqueFd fd_;
  int64_t length_ = 0;
  std::string error_;
};

}  // namespace quillon::net
