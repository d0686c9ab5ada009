#pragma once
// The MAC addresses the DHCP service ignores, or the only ones it answers: the files
// "ignore_macs" and "ignore_flag" in the DHCP directory, which the service reads too.
//
// "ignore_macs": 8-bit text, one MAC per line in display form ("00:1A:2B:3C:4D:5E\n").
// Lines are read with byteTextBuffer; each is parsed with ':' and, failing that, with
// '.'. The first line that is no valid MAC is logged ("DHCPIgnoreMACs: Error in line
// %s.") and ends the list. A missing file is an empty list. At most 1024 MACs.
//
// "ignore_flag": the mode as decimal text without a line end; it reads as 1 only when
// the file holds the number 1.
//
// A plain value and free functions; the ignored-MACs page uses them on the
// user-interface thread.

#include "common/mac.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

constexpr std::size_t maxIgnoredMacs = 1024;

enum class ignoreMode : int {
  ignoreListed = 0,      // the service ignores requests from the listed MACs
  answerOnlyListed = 1,  // the service answers only the listed MACs
};

class ignoreList {
 public:
  ignoreMode mode = ignoreMode::ignoreListed;
  // The file from its first line that was not taken (a bad line, or MACs beyond the
  // 1024th) to its end, exactly as read: a save writes it back after the MACs, so the
  // administrator's lines are never lost and still end the list where they did.
  std::string unreadTail;

  const std::vector<macAddress>& macs() const { return macs_; }
  bool contains(const macAddress& mac) const;
  // Adds a valid MAC once. True when the list holds it afterwards; false for an invalid
  // MAC or when the list is full.
  bool add(const macAddress& mac);
  // True when the MAC was listed.
  bool remove(const macAddress& mac);
  void clear() { macs_.clear(); }

 private:
  std::vector<macAddress> macs_;
};

// The MACs of the file's bytes into `macs`, up to the first bad line (logged). Repeated
// MACs count once; MACs beyond the 1024th are dropped with a log line. True when the
// whole file was taken. With `tail`, the bytes from the first line not taken to the end.
bool readIgnoreMacs(std::string_view bytes, std::vector<macAddress>& macs,
                    std::string* tail = nullptr);
// One display-form MAC and "\n" per entry.
std::string ignoreMacsText(std::span<const macAddress> macs);

ignoreMode parseIgnoreFlag(std::string_view bytes);
// "0" or "1".
std::string ignoreFlagText(ignoreMode mode);

// Reads both files from the DHCP directory (ending with '/') into `list`. False when a
// file exists but cannot be read ("DHCPIgnoreMACs: File %s open failed.") or the MAC
// list has a bad line; `list` then holds what could be read.
bool loadIgnoreList(const std::string& dhcpDir, ignoreList& list);
// Replaces both files (temporary file + rename each), the MACs (and the unread tail)
// first. False with an
// internal-error report when a file cannot be written; the flag is then not written.
bool saveIgnoreList(const std::string& dhcpDir, const ignoreList& list);

}  // namespace zv
