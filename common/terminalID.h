#pragma once
// terminalID: the identity of one terminal (address, platform, host name, product
// version, last login, the runs-the-product flag), the small files in the terminal's
// directory that persist it, and the terminal change log.
//
// Identity files, each directly in the terminal directory:
//   "ip"        dotted-decimal address, no line break
//   "version"   at most 15 bytes
//   "host"      at most 31 bytes
//   "lastlogin" FF FE, then at most 63 UTF-16LE units
//   "platform"  a name of platformName()
//   "iszelvar"  "1"; only its existence counts
//   "online"    "1"; written together with the directory's modification time, which
//               is the time the terminal was last heard from
// Readers take at most the field's width and stop at the first BEL, LF, CR or NUL.
// Writers replace a file whole (temporary file and rename) and write the same cut
// value, so what is stored reads back unchanged.
//
// Every change of a stored field is appended as one line to "zvc_terminal.log" in
// the logs directory: "[dd.mm.yyyy hh:mm:ss] [MAC] Changed host 'a' => 'b'. Source:
// configurator." and the like.
//
// A record is a plain value owned by whoever made it. The user-interface thread and
// background threads each work on their own copies; the files are the point of
// exchange (the boot services change them too). Every operation may run on any
// thread.

#include "common/mac.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

// Platform codes as the terminals report them.
enum : uint32_t {
  platformNone = 0,
  platformX86 = 1,
  platformUefi = 2,
  platformPi2B = 3,
  platformPi64bit = 4,
  platformWindows = 100,
};

// The name written to the "platform" file: "x86", "uefi", "Pi2B", "Pi64bit",
// "Windows"; "platform-none" for 0 and "platform-error" for an unknown code.
std::string_view platformName(uint32_t code);
// The code of a known name (ASCII letters compared without case); 0 for anything else.
uint32_t parsePlatform(std::string_view name);

// The terminal's directory, paths().terminalsDir + "00.1A.2B.3C.4D.5E/". A missing
// directory is created and the "Created" line written to the change log. Empty, with
// an internal-error report, for an invalid MAC, when the installation paths are not
// known or when the directory cannot be created.
std::string terminalDirectory(const macAddress& mac);
// The terminal's directory path without creating it: the name found on disk when the
// loader recorded one (a directory may be named in lower case), else the canonical
// form. Empty for an invalid MAC or unknown installation paths.
std::string existingTerminalDirectory(const macAddress& mac);

// The name of the directory that holds a terminal's files, as the loader found it on
// disk ("00.1a.2b.3c.4d.5e" is the same terminal as "00.1A.2B.3C.4D.5E"); forgetting
// returns the MAC to the canonical name. Any thread.
void rememberTerminalDirectoryName(const macAddress& mac, std::string name);
void forgetTerminalDirectoryName(const macAddress& mac);
void forgetTerminalDirectoryNames();
std::string terminalDirectoryName(const macAddress& mac);

// "zvw" (any case) followed by exactly 12 hexadecimal digits: the name a terminal
// reports when it has none configured. Such names are never stored.
bool isAutomaticHostName(std::string_view host);

struct terminalID {
  static constexpr std::size_t hostLimit = 31;
  static constexpr std::size_t versionLimit = 15;
  static constexpr std::size_t lastLoginLimit = 63;

  uint32_t ip = 0;        // network byte order; 0 = none
  uint32_t platform = 0;  // platform code; 0 = none reported
  macAddress mac;
  std::string host;          // at most hostLimit bytes; empty = none
  std::string version;       // at most versionLimit bytes; empty = none reported
  bool runsProduct = false;  // has identified itself as running the product
  std::u16string lastLogin;  // at most lastLoginLimit units; empty = none reported

  terminalID() = default;
  explicit terminalID(const macAddress& address) : mac(address) {}

  // Reads the identity files. Fields whose file is missing or unreadable become zero
  // or empty; runsProduct is only ever set here, never cleared. An unparsable "ip"
  // gives 0 and an internal-error report. Does not create the directory.
  void loadIdentity();

  // Writes every field that is set and differs from what is stored (texts compared
  // without ASCII letter case; empty or zero fields leave their file alone), each
  // with its change-log line. With seenOnline, also writes "online" and sets the
  // directory's modification time to now. All steps run even when one fails; false
  // for an invalid MAC or when any file could not be written.
  bool storeIdentity(bool seenOnline) const;

  // The single-field forms of storeIdentity: nothing happens for an empty (or 0)
  // field or one equal to the stored value. False when the MAC is invalid or the
  // write fails.
  bool storeVersion() const;
  bool storeHost() const;
  bool storeIp() const;

  // Empty the field (ip 0); an existing file is deleted and "Clear ..." logged.
  void clearHost();
  void clearVersion();
  void clearIp();

  // Offers a host name reported by DHCP option 12 or by the terminal itself. The
  // text is cut at its first control character (the NUL that ends option 12, a line
  // break) and to hostLimit bytes; an automatic name or an empty result is ignored,
  // anything else becomes host. Not stored.
  void setHostFromDhcp(std::string_view text);

  // True when the text is a MAC with ':' separators equal to this record's.
  bool matchesMacText(std::string_view text) const;
  bool matchesMacText(std::u16string_view text) const;
};

// The change log file, paths().logsDir + "zvc_terminal.log".
std::string terminalChangeLogPath();

}  // namespace zv
