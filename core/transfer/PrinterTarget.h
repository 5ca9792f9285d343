#pragma once
// The printer a download goes to, parsed once where its text enters (the
// command line, a printers file, the address dialog) and carried as a value
// from there on: nothing downstream splits a printer text again.
//
// A text beginning with "ftp://" (any letter case) names a printer's FTP
// server: ftp://HOST[:PORT][/FOLDER[/]] (see quillon::net::ParseFtpTarget).
// Any other text is a spooler queue. A queue name is kept as given, but one
// no print server would hold (empty, longer than 127 bytes, or with a
// blank, a control character, "/" or "#") is refused, so that a mistyped
// address never reaches the spooler as a queue.

#include <string>
#include <string_view>

#include "platform/Error.h"

namespace quillon {

enum class TransferRoute { Spooler, Ftp };

class PrinterTarget {
 public:
  // The value of text, or a failure (quillon::net::kErrBadAddress) with the
  // reason; out is left as it was then.
  static platform::Error Parse(std::string_view text, PrinterTarget* out);

  // The value of a text known to be good (a canonical spelling, a queue
  // the spooler listed); an invalid value when it does not parse.
  static PrinterTarget Of(std::string_view text);

  // False for a default-made value (no printer chosen).
  bool Valid() const { return valid_; }
  TransferRoute Route() const { return route_; }
  bool IsFtp() const { return valid_ && route_ == TransferRoute::Ftp; }

  // FTP: the host in lower case, an IPv6 address without brackets in its
  // shortest form; the port (21 unless given); the folder.
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }
  const std::string& Folder() const { return folder_; }
  // The host as the network library takes it: "h", "[::1]", "h:2121".
  std::string HostPort() const;
  // The spooler route: the queue name as given.
  const std::string& Queue() const { return queue_; }

  // The one spelling of the printer for the lock, DownLoad.log, the
  // history and the command-line front end's output:
  // "ftp://" + host (IPv6 in brackets) + ":port" unless 21 + "/" + folder,
  // or the queue name.
  std::string Canonical() const;
  // What makes two targets one printer (the lock's key): the FTP server
  // ("ftp://" + host [+ ":port"], its folders are one printer), or the
  // lower-cased queue name (the spooler ignores letter case).
  std::string Identity() const;

  // For texts read back from stored files: Canonical() / Identity() of
  // the parsed text, or the text itself (lower-cased for Identity) when it
  // does not parse.
  static std::string CanonicalOfText(std::string_view text);
  static std::string IdentityOfText(std::string_view text);
  // a and b name the same printer and folder: canonical spellings equal,
  // queue names compared without letter case.
  static bool SameTarget(std::string_view a, std::string_view b);

 private:
  bool valid_ = false;
  TransferRoute route_ = TransferRoute::Spooler;
  std::string host_;
  int port_ = 21;
  std::string folder_;
  std::string queue_;
};

}  // namespace quillon
