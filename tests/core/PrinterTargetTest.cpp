// The one parser of a printer text and the spelling every record uses.
#include <gtest/gtest.h>

#include <string>

#include "core/transfer/PrinterTarget.h"
#include "netlib/NetAddress.h"

using quillon::PrinterTarget;
using quillon::TransferRoute;

namespace {

PrinterTarget Parsed(const std::string& text) {
  PrinterTarget t;
  const platform::Error e = PrinterTarget::Parse(text, &t);
  EXPECT_FALSE(e.Failed()) << text << ": " << e.detail;
  return t;
}

TEST(PrinterTarget, FtpAddressGivesHostPortAndOneFolder) {
  PrinterTarget t = Parsed("ftp://10.0.0.7/vesta0");
  EXPECT_TRUE(t.IsFtp());
  EXPECT_EQ(t.Host(), "10.0.0.7");
  EXPECT_EQ(t.Port(), 21);
  EXPECT_EQ(t.Folder(), "vesta0");
  EXPECT_EQ(t.HostPort(), "10.0.0.7");

  // One trailing slash ends the folder; it names no other host.
  t = Parsed("ftp://A/vesta0/");
  EXPECT_EQ(t.Host(), "a");
  EXPECT_EQ(t.Folder(), "vesta0");
  // No folder, or only the slash: the printer's usual one.
  for (const char* text : {"ftp://A", "ftp://A/"}) {
    t = Parsed(text);
    EXPECT_EQ(t.Host(), "a") << text;
    EXPECT_EQ(t.Folder(), quillon::net::kDefaultFtpFolder) << text;
  }
  t = Parsed("FTP://Printer-A.Office.LAN:2121/Vesta1");
  EXPECT_EQ(t.Host(), "printer-a.office.lan");
  EXPECT_EQ(t.Port(), 2121);
  EXPECT_EQ(t.Folder(), "Vesta1");  // the server's folder keeps its case
  EXPECT_EQ(t.HostPort(), "printer-a.office.lan:2121");

  t = Parsed("ftp://[FE80:0:0::1]:2121/vesta0");
  EXPECT_EQ(t.Host(), "fe80::1");
  EXPECT_EQ(t.HostPort(), "[fe80::1]:2121");
}

TEST(PrinterTarget, AddressThatCouldNameAnotherHostOrFolderIsRefusedWithItsReason) {
  struct Bad {
    const char* text;
    const char* why;
  };
  for (const Bad b : {Bad{"ftp://A/B/vesta0", "holds \"/\""},
                      Bad{"ftp://A/dir/sub", "holds \"/\""},
                      Bad{"ftp://A/vesta0//", "holds \"/\""},
                      Bad{"ftp://A//", "an empty folder"},
                      Bad{"ftp://A/..", "\"..\""},
                      Bad{"ftp://A/.", "\"..\""},
                      Bad{"ftp:///vesta0", "no host"},
                      Bad{"ftp://:21/vesta0", "no host"},
                      Bad{"ftp://A:0/vesta0", "port is not 1..65535"},
                      Bad{"ftp://A:65536/vesta0", "port is not 1..65535"},
                      Bad{"ftp://A:x/vesta0", "port is not 1..65535"},
                      Bad{"ftp://A/ves\tta0", "control character"},
                      Bad{"ftp://A/a\r\nDELE b", "line end"}}) {
    PrinterTarget t;
    const platform::Error e = PrinterTarget::Parse(b.text, &t);
    ASSERT_TRUE(e.Failed()) << b.text;
    EXPECT_EQ(e.code, quillon::net::kErrBadAddress) << b.text;
    EXPECT_NE(e.detail.find(b.why), std::string::npos) << b.text << ": " << e.detail;
    EXPECT_NE(e.detail.find(b.text), std::string::npos) << e.detail;
    EXPECT_FALSE(t.Valid());
  }
}

TEST(PrinterTarget, QueueNamesAreKeptAsTheSpoolerWouldHoldThem) {
  PrinterTarget t = Parsed("Office_Laser-2");
  EXPECT_EQ(t.Route(), TransferRoute::Spooler);
  EXPECT_EQ(t.Queue(), "Office_Laser-2");
  EXPECT_EQ(t.Canonical(), "Office_Laser-2");
  EXPECT_EQ(t.Identity(), "office_laser-2");
  EXPECT_EQ(Parsed("事務所のﾌﾟﾘﾝﾀ").Queue(), "事務所のﾌﾟﾘﾝﾀ");
  EXPECT_EQ(Parsed("q@server:1").Queue(), "q@server:1");
  EXPECT_EQ(Parsed(std::string(127, 'q')).Queue().size(), 127u);

  // What no queue name can hold: a mistyped address is told, not spooled.
  for (const std::string& bad : {std::string(), std::string("a b"), std::string("a/b"),
                                std::string("a#b"), std::string("a\tb"), std::string(128, 'q'),
                                std::string("xftp://A/vesta0"), std::string("ftp:/A/vesta0")}) {
    PrinterTarget t2;
    const platform::Error e = PrinterTarget::Parse(bad, &t2);
    EXPECT_TRUE(e.Failed()) << bad;
    EXPECT_EQ(e.code, quillon::net::kErrBadAddress) << bad;
  }
}

TEST(PrinterTarget, OnePrinterHasOneSpellingAndOneIdentity) {
  // Case, the default port and a trailing slash make no other printer.
  for (const char* text : {"ftp://h/vesta0", "ftp://H:21/vesta0", "FTP://h/vesta0/", "ftp://h",
                           "ftp://H:21/"}) {
    EXPECT_EQ(Parsed(text).Canonical(), "ftp://h/vesta0") << text;
    EXPECT_EQ(Parsed(text).Identity(), "ftp://h") << text;
  }
  // IPv6 in brackets, in its shortest lower-case form; a port only when
  // it is not 21.
  EXPECT_EQ(Parsed("ftp://[0:0::1]:21/vesta0").Canonical(), "ftp://[::1]/vesta0");
  EXPECT_EQ(Parsed("ftp://[FE80::A]/vesta0").Canonical(), "ftp://[fe80::a]/vesta0");
  EXPECT_EQ(Parsed("ftp://h:2121/vesta0").Canonical(), "ftp://h:2121/vesta0");
  EXPECT_EQ(Parsed("ftp://[::1]:2121/x").Identity(), "ftp://[::1]:2121");
  // A canonical spelling parses to itself.
  for (const char* text : {"ftp://h/vesta0", "ftp://[::1]:2121/x", "Q1"})
    EXPECT_EQ(Parsed(Parsed(text).Canonical()).Canonical(), Parsed(text).Canonical());

  // Folders of one server are one printer; another port is another.
  EXPECT_EQ(Parsed("ftp://h/a").Identity(), Parsed("ftp://H/b").Identity());
  EXPECT_NE(Parsed("ftp://h/a").Identity(), Parsed("ftp://h:2121/a").Identity());
  EXPECT_EQ(Parsed("Q1").Identity(), Parsed("q1").Identity());
}

TEST(PrinterTarget, StoredTextsMatchByTheirCanonicalSpelling) {
  EXPECT_EQ(PrinterTarget::CanonicalOfText("ftp://H:21/vesta0"), "ftp://h/vesta0");
  EXPECT_EQ(PrinterTarget::CanonicalOfText("ftp://A/B/vesta0"), "ftp://A/B/vesta0");
  EXPECT_EQ(PrinterTarget::IdentityOfText("ftp://A:21/x"), "ftp://a");
  EXPECT_EQ(PrinterTarget::IdentityOfText("Bad Queue"), "bad queue");

  EXPECT_TRUE(PrinterTarget::SameTarget("ftp://H:21/vesta0", "ftp://h/vesta0/"));
  EXPECT_TRUE(PrinterTarget::SameTarget("Q1", "q1"));
  EXPECT_FALSE(PrinterTarget::SameTarget("ftp://h/vesta0", "ftp://h/other"));
  EXPECT_FALSE(PrinterTarget::SameTarget("ftp://h/vesta0", "ftp://h:2121/vesta0"));
  // A text that does not parse matches itself only.
  EXPECT_TRUE(PrinterTarget::SameTarget("ftp://A/B/c", "ftp://A/B/c"));
  EXPECT_FALSE(PrinterTarget::SameTarget("ftp://A/B/c", "ftp://a/B/c"));
}

TEST(PrinterTarget, DefaultValueIsNoPrinter) {
  const PrinterTarget t;
  EXPECT_FALSE(t.Valid());
  EXPECT_FALSE(t.IsFtp());
  EXPECT_EQ(t.Canonical(), "");
  EXPECT_EQ(t.Identity(), "");
}

}  // namespace
