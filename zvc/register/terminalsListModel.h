#pragma once
// The displayed list of the terminals list: the registered terminals that pass the
// filter, in sort order, with pseudo-terminals (boot media, groups) under every filter
// after every real terminal. It knows the settings and the terminals, not the document:
// the rows that show it are terminalsList's.
//
// Equal terminals keep the order in which they were offered, as a stable sort does.
// Terminals offered while the list is unsorted (start-up, before the rows exist) are
// sorted once, when the list is next read.
//
// Thread safety: the user-interface thread, which owns the register and the settings.

#include "common/mac.h"
#include "zvc/register/terminals.h"
#include "zvc/ui/userSettings.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zv {

// Column and sort rules: with none of MAC, IP, host, comment and last login shown, MAC
// is shown; a sort column whose column is hidden becomes the first shown column in the
// order MAC, IP, host, comment, last login, (online,) last seen.
void computeColumns(userSettings& settings);

class terminalsListModel {
 public:
  explicit terminalsListModel(const userSettings& settings) : settings_(settings) {}

  // Whether the filter lets the terminal in (pseudo-terminals always).
  bool shown(const terminal& t) const;
  // Negative, zero or positive as a sorts before, with or after b.
  int compare(const terminal& a, const terminal& b) const;

  // Inserts a terminal that passes the filter after every entry not greater than it
  // (appended while unsorted); a terminal listed already is an internal error. True
  // when it was listed.
  bool offer(terminal& t);
  // Lists every terminal that passes the filter, in the order given, then sorts.
  void rebuild(const std::vector<terminal*>& all);
  // From now on offers are put at their place at once.
  void keepSorted();

  const std::vector<terminal*>& displayed() const;
  bool contains(const terminal& t) const { return listsMac(t.mac); }
  bool listsMac(const macAddress& mac) const { return listed_.count(mac) != 0; }
  // The terminal's index in the displayed list, or -1.
  std::ptrdiff_t indexOf(const terminal& t) const;
  // Takes the terminal out; its former index, or -1 when it was not listed.
  std::ptrdiff_t withdraw(const terminal& t);
  // A listed or new terminal changed: its new index, or -1 when the filter leaves it out.
  std::ptrdiff_t replace(terminal& t);

  // The modification time of the terminal's directory (its last contact), read once
  // and kept until forgotten.
  struct lastSeen {
    bool known = false;
    int64_t nanoseconds = 0;  // since the epoch
  };
  const lastSeen& seenOf(const terminal& t) const;
  void forgetSeen(const terminal& t) { seen_.erase(&t); }
  void forgetAllSeen() { seen_.clear(); }

 private:
  void sort() const;
  std::size_t placeFor(const terminal& t) const;

  const userSettings& settings_;
  mutable std::vector<terminal*> displayed_;
  std::unordered_set<macAddress, macAddressHash> listed_;  // the MACs in displayed_
  mutable bool sorted_ = true;
  bool keepSorted_ = false;
  mutable std::unordered_map<const terminal*, lastSeen> seen_;
};

}  // namespace zv
