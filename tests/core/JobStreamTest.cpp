// The bytes of the job file in every combination of the command choices.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/package/DownDocFile.h"
#include "core/transfer/JobStream.h"
#include "tests/support/TestEnv.h"

namespace {

const std::string kPreamble(
    "\x1b\x01@EJL\r\n@EJL SE LA = ESC/P\r\n@EJL EN LA = ESC/P\r\n\x1bz\xd0\x81", 52);

void SetData(TDownDocFile& doc, const std::string& bytes) {
  std::free(doc.DataBuffer);
  doc.DataBuffer = nullptr;
  doc.DataSize = 0;
  if (bytes.empty()) return;
  doc.DataBuffer = static_cast<unsigned char*>(std::malloc(bytes.size()));
  std::memcpy(doc.DataBuffer, bytes.data(), bytes.size());
  doc.DataSize = static_cast<std::uint32_t>(bytes.size());
}

class JobStream : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = quillon_test::MakeTestDir("job") + "/dwn1.tmp";
    ASSERT_TRUE(quillon_test::WriteFileBytes(path_, ""));
  }
  // Builds and returns the file's bytes; the returned length must match.
  std::string Build(const std::string& data, bool allowed, int enable, int reboot,
                    std::uint32_t items) {
    doc_.EnableCommand = enable;
    doc_.Reboot = reboot;
    SetData(doc_, data);
    const std::uint32_t length = BuildJobFile(path_.c_str(), &doc_, allowed, items);
    const std::string bytes = quillon_test::ReadFileBytes(path_);
    EXPECT_EQ(length, bytes.size());
    return bytes;
  }
  std::string path_;
  TDownDocFile doc_;
};

TEST_F(JobStream, PreambleIsTheFiftyTwoBytesThePrinterExpects) {
  EXPECT_EQ(std::string(kJobPreamble, kJobPreambleSize), kPreamble);
}

TEST_F(JobStream, BothWrappersAroundTenBytes) {
  const std::string data = "0123456789";
  const std::string bytes = Build(data, true, 1, 1, 1);
  ASSERT_EQ(bytes.size(), 82u);
  EXPECT_EQ(bytes, kPreamble + "Uf00000010,0*" + data + "Ug,1,1*");
}

TEST_F(JobStream, RestartDigitFollowsTheInitialisationItems) {
  for (std::uint32_t items = 0; items <= 7; ++items) {
    SCOPED_TRACE(items);
    const std::string bytes = Build("abc", true, 1, 1, items);
    EXPECT_EQ(bytes.substr(bytes.size() - 7), "Ug,1," + std::to_string(items) + "*");
  }
  // Bits beyond the three items do not make a character the printer
  // cannot read.
  EXPECT_EQ(RestartCommand(8), "Ug,1,0*");
  EXPECT_EQ(RestartCommand(13), "Ug,1,5*");
}

TEST_F(JobStream, EveryCombinationOfTheChoices) {
  const std::string data = std::string("\x00\x1a\xff", 3) + "data";
  for (int allowed = 0; allowed <= 1; ++allowed)
    for (int enable = 0; enable <= 1; ++enable)
      for (int reboot = 0; reboot <= 1; ++reboot) {
        SCOPED_TRACE(testing::Message() << allowed << enable << reboot);
        std::string expected;
        if (allowed && enable) expected += kPreamble + "Uf00000007,0*";
        expected += data;
        if (allowed && reboot) expected += "Ug,1,4*";
        EXPECT_EQ(Build(data, allowed, enable, reboot, 4), expected);
      }
}

TEST_F(JobStream, LengthFieldCoversOnlyTheData) {
  EXPECT_EQ(LengthCommand(1234567), "Uf01234567,0*");
  EXPECT_EQ(LengthCommand(99999999), "Uf99999999,0*");
  const std::string data(100000, 'x');
  const std::string bytes = Build(data, true, 1, 1, 1);
  EXPECT_EQ(bytes.substr(52, 13), "Uf00100000,0*");
  EXPECT_EQ(bytes.size(), 52u + 13u + data.size() + 7u);
}

TEST_F(JobStream, OldContentsOfTheFileAreReplaced) {
  ASSERT_TRUE(quillon_test::WriteFileBytes(path_, std::string(5000, 'z')));
  EXPECT_EQ(Build("new", false, 1, 1, 1), "new");
}

TEST_F(JobStream, EmptyDocumentGivesZeroOrOnlyTheCommands) {
  EXPECT_EQ(Build("", false, 1, 1, 1), "");
  EXPECT_EQ(BuildJobFile(path_.c_str(), &doc_, false, 1), 0u);
  EXPECT_EQ(Build("", true, 1, 1, 2), kPreamble + "Uf00000000,0*" + "Ug,1,2*");
  EXPECT_EQ(Build("", true, 0, 1, 2), "Ug,1,2*");
}

TEST_F(JobStream, MissingInputsAndUnopenableFileGiveZero) {
  SetData(doc_, "abc");
  EXPECT_EQ(BuildJobFile(nullptr, &doc_, true, 1), 0u);
  EXPECT_EQ(BuildJobFile("", &doc_, true, 1), 0u);
  EXPECT_EQ(BuildJobFile(path_.c_str(), nullptr, true, 1), 0u);
  // The job file is made by the caller; a missing one is not created.
  const std::string missing = quillon_test::MakeTestDir("job") + "/gone.tmp";
  EXPECT_EQ(BuildJobFile(missing.c_str(), &doc_, true, 1), 0u);
  struct stat st {};
  EXPECT_NE(::stat(missing.c_str(), &st), 0);
  // A folder is no job file.
  const std::string folder = quillon_test::MakeTestDir("job");
  EXPECT_EQ(BuildJobFile(folder.c_str(), &doc_, true, 1), 0u);
}

TEST_F(JobStream, DataTooLongForTheLengthFieldIsRefused) {
  // A document claiming more than eight digits of data (no buffer is
  // touched before the refusal).
  static unsigned char byte = 0;
  doc_.EnableCommand = 1;
  doc_.Reboot = 0;
  unsigned char* keep = doc_.DataBuffer;
  doc_.DataBuffer = &byte;
  doc_.DataSize = 100000000u;
  EXPECT_EQ(BuildJobFile(path_.c_str(), &doc_, true, 1), 0u);
  doc_.DataBuffer = keep;
  doc_.DataSize = 0;
}

TEST_F(JobStream, FullDiskGivesZeroNotAShortFile) {
  struct stat st {};
  if (::stat("/dev/full", &st) != 0) GTEST_SKIP() << "no /dev/full";
  SetData(doc_, std::string(4096, 'q'));
  EXPECT_EQ(BuildJobFile("/dev/full", &doc_, true, 1), 0u);
}

}  // namespace
