// The notice after a failed download: chosen from the result and its cause.
#include <gtest/gtest.h>

#include <string>

#include "core/command/ResultMessages.h"
#include "core/transfer/ResultCodes.h"
#include "resources/StringTable.h"

using quillon::LoadStr;
using quillon::ResultAdvice;
using quillon::kJobAborted;
using quillon::kJobDirectory;
using quillon::kJobDone;
using quillon::kJobPrintedWithErrors;
using quillon::kJobPrinterOpen;
using quillon::kJobSendFailed;
using quillon::kJobTempFile;

namespace {

TEST(ResultAdvice, ARefusalByThePrintersFtpServerSaysWhatWasRefusedAndWhy) {
  struct Case {
    int code;
    std::string detail;
    int advice;
  };
  for (const Case& c : {
           // The library's causes as it writes them: the step, the reply.
           Case{kJobSendFailed, "STOR dwn1A2B.tmp: 553 Could not create file.", 4166},
           Case{kJobSendFailed, "after the data of STOR dwn1A2B.tmp: 451 Requested action aborted.", 4166},
           Case{kJobSendFailed, "after the data of STOR dwn1A2B.tmp: 552", 4166},
           Case{kJobPrinterOpen, "USER: 530 Login incorrect.", 4167},
           Case{kJobPrinterOpen, "PASS: 530-Login incorrect.", 4167},
           Case{kJobSendFailed, "PORT 127,0,0,1,39,16: 500 Illegal PORT command.", 4168},
           Case{kJobPrinterOpen, "greeting: 421 Too many connections.", 4168},
       }) {
    SCOPED_TRACE(c.detail);
    const std::string advice = ResultAdvice(c.code, c.detail);
    EXPECT_EQ(advice, LoadStr(c.advice) + "\n" + c.detail);
    EXPECT_EQ(advice.find(LoadStr(4120)), std::string::npos);  // never "switch it off and on"
  }
  // The printer's words keep no control character.
  EXPECT_EQ(ResultAdvice(kJobSendFailed, "STOR x: 553 no\x1b[2Jroom"),
            LoadStr(4166) + "\nSTOR x: 553 no\\x1B[2Jroom");
}

TEST(ResultAdvice, EveryOtherFailureKeepsItsAdvice) {
  // No connection or no greeting: what to check of the printer.
  for (const char* detail : {"connect to 127.0.0.9 port 21: refused", "greeting: no reply in time",
                             "greeting: 120 Service ready in 5 minutes.", ""})
    EXPECT_EQ(ResultAdvice(kJobPrinterOpen, detail), LoadStr(4165)) << detail;
  // A send that broke off, an abort, a local failure: as before.
  for (const auto& [code, detail] :
       {std::pair<int, const char*>{kJobSendFailed, "data: send failed after 512 bytes: reset"},
        {kJobSendFailed, "after the data of STOR x: no reply in time"},
        {kJobSendFailed, "not a reply: \"553 x\""},  // no reply code after ": "
        {kJobSendFailed, "job 7: 5000 bytes"},       // four digits are no reply code
        {kJobAborted, "aborted after 512 bytes"},
        {kJobPrintedWithErrors, ""},
        {kJobTempFile, ""},
        {777, ""}})
    EXPECT_EQ(ResultAdvice(code, detail), LoadStr(4120)) << code << " " << detail;
  // Nothing follows a success or the folder's own box.
  EXPECT_EQ(ResultAdvice(kJobDone, ""), "");
  EXPECT_EQ(ResultAdvice(kJobDirectory, "CWD vesta0: 550 No such directory."), "");
}

TEST(ResultAdvice, TheAdviceTextsArePresent) {
  for (const int id : {4165, 4166, 4167, 4168}) {
    EXPECT_FALSE(LoadStr(id).empty()) << id;
    EXPECT_EQ(LoadStr(id).find('\\'), std::string::npos) << id;
  }
}

}  // namespace
