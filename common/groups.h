#pragma once
// Terminal groups: subnets whose default configuration stands in for the terminals of
// the subnet that have none of their own. Group nn keeps that configuration in its
// pseudo-terminal FF:FF:FF:FF:FF:nn. A terminal belongs to the first group whose subnet
// holds its address; the group "all" (address 0) takes every other terminal and is
// always the last one.
//
// The list is kept in "default.zvc" in the shared settings directory, which the DHCP
// service reads too: UTF-16LE with the mark FF FE, one group per line ending in CR LF,
//   0a 10.0.0.0/16 Office     number (two lower-case hex digits), subnet/prefix, name
//   0b all Rest               the group "all"
// Reading takes the logical lines of the text reader ('#' starts a comment, blanks
// around a line are dropped; lines are not joined, so a name may end in a backslash).
// Blanks and tabs around the fields are skipped. The number is hexadecimal (either
// case, an optional '+') from 01 to ff. The subnet is "all" or an address, '/' or '\',
// and a mask written dotted (its leading one bits count) or as a prefix from 1 to 32.
// The rest of the line is the name. Lines that do not parse, that repeat a number or
// give a subnet at address 0 are reported and skipped; reading stops after "all".
//
// The console owns one groupList and touches it only on the user-interface thread.

#include "common/mac.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

constexpr uint8_t allGroupPrefix = 32;
// New groups get numbers up to 254: group 255 would be FF:FF:FF:FF:FF:FF, which is no
// terminal (the broadcast address), so its default configuration could not be kept.
constexpr int lastNewGroupNumber = 254;
constexpr std::size_t maxGroups = 255;
// The longest name the groups editor takes.
constexpr std::size_t maxGroupNameLength = 64;

struct terminalGroup {
  uint8_t number = 0;    // 1 to 255
  uint32_t address = 0;  // subnet address, network order; 0 for the group "all"
  uint8_t prefix = allGroupPrefix;
  std::u16string name;

  bool isAll() const { return address == 0; }
  // The subnet mask of the prefix, network order.
  uint32_t mask() const;
  // Whether a terminal with this address (network order) falls into the group; "all"
  // holds every address.
  bool contains(uint32_t ip) const;
  friend bool operator==(const terminalGroup&, const terminalGroup&) = default;
};

// A mask as the file and the editor give it: dotted (the count of its leading one
// bits) or a decimal prefix; nullopt unless the result is 1 to 32.
std::optional<uint8_t> parseGroupMask(std::u16string_view text);

// One logical line of the groups file; nullopt when it does not parse.
std::optional<terminalGroup> parseGroupLine(std::u16string_view line);
// The line a group is written as, with its CR LF. Line breaks inside the name are
// written as blanks, so a name can never add a line of its own.
std::u16string groupLine(const terminalGroup& group);

// The groups held in a file's bytes (any encoding the text reader accepts), in order.
// With `kept`, every other non-blank physical line (comments, lines that do not parse or
// repeat a number, everything after "all") is added to it verbatim.
std::vector<terminalGroup> readGroups(std::string_view bytes,
                                      std::vector<std::u16string>* kept = nullptr);
// The file's bytes: FF FE, one line per group, then the kept lines as they were (one
// that would read as a group is written as a comment when no "all" group precedes it).
std::string groupsFileBytes(std::span<const terminalGroup> groups,
                            std::span<const std::u16string> kept = {});

// Whether a name reads back from its line as it is: no '#' (a comment there), no line
// break, no blank at either end.
bool holdableGroupName(std::u16string_view name);

// Whether a list reads back as it is: numbers 1 to 255 used once, prefixes 1 to 32,
// names that the line holds, and at most one group "all", which comes last.
bool isWellFormed(std::span<const terminalGroup> groups);

// The lowest number from 1 to lastNewGroupNumber that neither a group nor one of the
// numbers the editor handed out since it was built uses; 0 when none is free.
uint8_t nextGroupNumber(std::span<const terminalGroup> groups,
                        std::span<const uint8_t> createdInEditor = {});

// "default.zvc" in the installation's shared settings directory.
std::string groupsPath();

class groupList {
 public:
  // Replaces the list with the groups of the file (and the kept lines with its other
  // lines). A missing file is an empty list; a file that cannot be read is reported and
  // also leaves the list empty (false).
  bool load(const std::string& path);
  // Writes the whole list (temporary file + rename), followed by the lines of the file
  // it was loaded from that held no group, kept verbatim. Reports and returns false when
  // the list is not well formed or the file cannot be written; the old file then stays.
  bool save(const std::string& path) const;

  const std::vector<terminalGroup>& groups() const { return groups_; }
  void assign(std::vector<terminalGroup> groups) { groups_ = std::move(groups); }

  const terminalGroup* find(int number) const;
  // The group a terminal with this address belongs to, or null.
  const terminalGroup* groupFor(uint32_t ip) const;
  // The names of the groups for pseudoTerminalName. The function refers to this list,
  // so it must not outlive it.
  groupNameLookup nameLookup() const;

 private:
  std::vector<terminalGroup> groups_;
  std::vector<std::u16string> kept_;  // lines of the file that held no group
};

// What the terminal store does when the groups change.
struct groupTerminalHooks {
  // Takes every group pseudo-terminal out of the register and the displayed list.
  std::function<void()> removeGroupTerminals;
  // Creates the missing group directories and loads every group's pseudo-terminal.
  std::function<void()> loadGroupTerminals;
};

// Puts an edited list in place: takes the group pseudo-terminals out of the register,
// replaces and saves the list, deletes the directories of the `deleted` groups (never
// one whose number the new list still uses) and loads the group pseudo-terminals
// again. When the list cannot be saved the old one stays in memory, nothing is deleted
// and the result is false.
bool replaceGroups(groupList& list, std::vector<terminalGroup> groups,
                   std::span<const uint8_t> deleted, const std::string& path,
                   const std::string& terminalsDir, const groupTerminalHooks& hooks);

}  // namespace zv
