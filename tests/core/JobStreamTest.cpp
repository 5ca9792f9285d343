// The bytes of the job file in every combination of the command choices.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/package/DownDocFile.h"
#include "core/transfer/JobStream.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"

using quillon::BuildJobFile;
using quillon::JobFileAhead;
using quillon::LengthCommand;
using quillon::RestartCommand;
using quillon::kJobPreamble;
using quillon::kJobPreambleSize;

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

// The job file written ahead holds, once taken, the very bytes the
// transfer would have built for its choices; choices that give another
// stream get nothing from it.
class JobAhead : public JobStream {
 protected:
  std::shared_ptr<TDownDocFile> Package(const std::string& data, int enable, int reboot) {
    auto doc = std::make_shared<TDownDocFile>();
    doc->EnableCommand = enable;
    doc->Reboot = reboot;
    SetData(*doc, data);
    return doc;
  }
  static std::size_t JobFiles() { return package_test::WorkLeftovers().size(); }
  static const std::function<bool()> kNever;
};
const std::function<bool()> JobAhead::kNever = [] { return false; };

TEST_F(JobAhead, TakenFileIsTheBuiltStreamForEveryChoiceWhoseStartItShares) {
  const std::string data = std::string("\x00\x1a\xff", 3) + std::string(70000, 'd');
  for (int allowed = 0; allowed <= 1; ++allowed)
    for (int enable = 0; enable <= 1; ++enable)
      for (int reboot = 0; reboot <= 1; ++reboot)
        for (const std::uint32_t items : {0u, 3u, 12u}) {
          SCOPED_TRACE(testing::Message() << allowed << enable << reboot << " items " << items);
          const auto doc = Package(data, enable, reboot);
          JobFileAhead ahead(doc);
          std::string path;
          std::uint32_t length = 0;
          const bool taken = ahead.Take(doc.get(), allowed, items, kNever, path, length);
          // Written for a printer that takes the command: without it, only
          // a package that has no download command starts the same.
          EXPECT_EQ(taken, allowed || !enable);
          if (!taken) continue;
          const std::string bytes = quillon_test::ReadFileBytes(path);
          EXPECT_EQ(length, bytes.size());
          EXPECT_EQ(bytes, Build(data, allowed, enable, reboot, items));
        }
}

TEST_F(JobAhead, OnlyTheSameStreamIsSharedAndTheTakenFileStaysAsItWas) {
  const auto doc = Package("firmware", 1, 1);
  JobFileAhead ahead(doc);
  std::string first, again, other;
  std::uint32_t length = 0, againLength = 0;
  ASSERT_TRUE(ahead.Take(doc.get(), true, 5, kNever, first, length));
  const std::string sent = quillon_test::ReadFileBytes(first);
  // Another restart digit is another stream: that transfer builds its own.
  EXPECT_FALSE(ahead.Take(doc.get(), true, 2, kNever, other, againLength));
  EXPECT_FALSE(ahead.Take(doc.get(), false, 5, kNever, other, againLength));
  EXPECT_TRUE(other.empty());
  // Bits beyond the three items give the same digit, so the same stream.
  ASSERT_TRUE(ahead.Take(doc.get(), true, 13, kNever, again, againLength));
  EXPECT_EQ(again, first);
  EXPECT_EQ(againLength, length);
  EXPECT_EQ(quillon_test::ReadFileBytes(first), sent);
  EXPECT_EQ(sent.substr(sent.size() - 7), "Ug,1,5*");

  // A package the file was not written from is never served from it.
  const auto copy = Package("firmware", 1, 1);
  EXPECT_FALSE(ahead.Take(copy.get(), true, 5, kNever, other, againLength));
  EXPECT_FALSE(ahead.Take(nullptr, true, 5, kNever, other, againLength));
}

TEST_F(JobAhead, WithoutARestartCommandTheStreamEndsWithTheData) {
  const auto doc = Package("abc", 1, 0);
  JobFileAhead ahead(doc);
  std::string path;
  std::uint32_t length = 0;
  ASSERT_TRUE(ahead.Take(doc.get(), true, 7, kNever, path, length));
  EXPECT_EQ(quillon_test::ReadFileBytes(path), kPreamble + "Uf00000003,0*abc");
  // No restart command: the items do not change the stream.
  std::string again;
  EXPECT_TRUE(ahead.Take(doc.get(), true, 1, kNever, again, length));
}

TEST_F(JobAhead, WhatCannotBeWrittenIsLeftToTheTransfer) {
  const std::size_t before = JobFiles();
  std::string path;
  std::uint32_t length = 0;
  {
    // Nothing to send at all.
    const auto empty = Package("", 0, 0);
    JobFileAhead ahead(empty);
    EXPECT_FALSE(ahead.Take(empty.get(), true, 1, kNever, path, length));
  }
  {
    // More data than the length field can announce (no buffer is read).
    static unsigned char byte = 0;
    auto huge = std::make_shared<TDownDocFile>();
    huge->EnableCommand = 1;
    huge->DataBuffer = &byte;
    huge->DataSize = 100000000u;
    {
      JobFileAhead ahead(huge);
      EXPECT_FALSE(ahead.Take(huge.get(), true, 1, kNever, path, length));
    }
    huge->DataBuffer = nullptr;
    huge->DataSize = 0;
  }
  {
    // Data claimed but not there.
    auto missing = std::make_shared<TDownDocFile>();
    missing->DataSize = 10;
    JobFileAhead ahead(missing);
    EXPECT_FALSE(ahead.Take(missing.get(), true, 1, kNever, path, length));
  }
  JobFileAhead none(nullptr);
  EXPECT_FALSE(none.Take(nullptr, true, 1, kNever, path, length));
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(JobFiles(), before) << "job file left behind";
}

TEST_F(JobAhead, TheFileGoesWithItsOwnerEvenWhileItIsStillBeingWritten) {
  const std::size_t before = JobFiles();
  std::string path;
  {
    const auto doc = Package(std::string(1 << 20, 'w'), 1, 1);
    JobFileAhead ahead(doc);
    std::uint32_t length = 0;
    ASSERT_TRUE(ahead.Take(doc.get(), true, 1, kNever, path, length));
    EXPECT_EQ(JobFiles(), before + 1);
    EXPECT_EQ(quillon_test::ReadFileBytes(path).size(), length);
  }
  EXPECT_EQ(JobFiles(), before);
  {
    // Dropped at once, its write not waited for to the end.
    const auto doc = Package(std::string(64 << 20, 'w'), 1, 1);
    JobFileAhead ahead(doc);
  }
  EXPECT_EQ(JobFiles(), before);
}

}  // namespace
