// The data digest info and the history record.
#include <gtest/gtest.h>

#include <string>

#include "core/package/Sha256.h"

namespace {

std::string Hex(const std::string& s) {
  return quillon::Sha256Hex(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

TEST(PackageDigest, KnownVectorsAndNoDataGivesNoDigest) {
  EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(Hex(""), "");
  EXPECT_EQ(quillon::Sha256Hex(nullptr, 5), "");
}

}  // namespace
