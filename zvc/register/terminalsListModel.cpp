#include "zvc/register/terminalsListModel.h"

#include "common/installPaths.h"
#include "common/terminalID.h"
#include "htmlview/collation.h"
#include "platform/diagnostics.h"
#include "zvc/register/terminalsListMarkup.h"

#include <arpa/inet.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <string_view>

namespace zv {
namespace {

// Pseudo-terminals after every real terminal: boot USB, boot CD, boot SD, groups.
// Called for every comparison of a sort, so it looks at the bytes itself.
int rankOf(const macAddress& mac) {
  const auto& b = mac.bytes;
  uint8_t first = b[0];
  if (first != 0xBB && first != 0xCD && first != 0x5D && first != 0xFF) return 0;
  if (mac == bootUsbMac) return 1;
  if (mac == bootCdMac) return 2;
  if (mac == bootSdMac) return 3;
  if (mac.groupNumber() != 0) return 4;
  return 0;
}

// One boot medium of each kind: ranks 1 to 3 need no further comparison.
bool rankDecides(int rank) {
  return rank != 0 && rank != 4;
}

uint64_t macNumber(const macAddress& mac) {
  uint64_t n = 0;
  for (uint8_t b : mac.bytes) n = n << 8 | b;
  return n;
}

// A terminal with its sort key worked out once, for the sorts whose keys are a number
// or a byte string (MAC, IP, host): comparing them is then a few instructions.
struct keyed {
  int rank;
  uint64_t number;
  std::string_view text;
  terminal* t;
};

}  // namespace

void computeColumns(userSettings& s) {
  if (!s.showMAC && !s.showIP && !s.showHost && !s.showNote && !s.showLastlogin) s.showMAC = true;
  if (sortColumnShown(s, s.sortColumn)) return;
  // The online column has no sort of its own, so the walk goes on to last seen.
  if (int first = firstShownSortColumn(s)) s.sortColumn = first;
}

bool terminalsListModel::shown(const terminal& t) const {
  if (t.mac.isPseudo()) return true;
  if (auto passes = filterPredicate(settings_.filterColumn)) return passes(t);
  errno = EINVAL;
  ZV_INTERNAL_ERROR();
  return false;
}

const terminalsListModel::lastSeen& terminalsListModel::seenOf(const terminal& t) const {
  auto found = seen_.find(&t);
  if (found != seen_.end()) return found->second;
  lastSeen seen;
  if (!t.mac.isPseudo() && !paths().terminalsDir.empty()) {
    std::string directory = existingTerminalDirectory(t.mac);
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0) {
      seen.known = true;
      seen.nanoseconds = int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    } else {
      int error = errno;
      logMessage("Unable to open %s. Error %d (0x%x).", directory.c_str(), error, error);
    }
  }
  return seen_.emplace(&t, seen).first->second;
}

int terminalsListModel::compare(const terminal& a, const terminal& b) const {
  int ra = rankOf(a.mac);
  int rb = rankOf(b.mac);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (rankDecides(ra)) return 0;
  auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (settings_.sortColumn) {
    case sortByMac:
      return sign(a.mac, b.mac);
    case sortByIp:
      return sign(ntohl(a.ip), ntohl(b.ip));
    case sortByHost: {
      int c = a.host.compare(b.host);
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case sortByComment:
      return compareLinguistic(std::u16string_view(a.comment).substr(0, 64),
                               std::u16string_view(b.comment).substr(0, 64));
    case sortByLastLogin:
      return compareLinguistic(std::u16string_view(a.lastLogin).substr(0, 64),
                               std::u16string_view(b.lastLogin).substr(0, 64));
    case sortByLastSeen: {
      bool onA = a.onlineCountdown > 0;
      bool onB = b.onlineCountdown > 0;
      if (onA != onB) return onA ? -1 : 1;
      if (onA) return sign(a.mac, b.mac);
      const lastSeen& sa = seenOf(a);
      const lastSeen& sb = seenOf(b);
      if (!sa.known || !sb.known) return 0;
      return sign(sb.nanoseconds, sa.nanoseconds);  // newer first
    }
  }
  return 0;
}

void terminalsListModel::sort() const {
  if (sorted_) return;
  sorted_ = true;
  int column = settings_.sortColumn;
  if (column != sortByMac && column != sortByIp && column != sortByHost) {
    // A stable sort of the arrival order is what offering one by one gives.
    std::stable_sort(displayed_.begin(), displayed_.end(),
                     [&](terminal* a, terminal* b) { return compare(*a, *b) < 0; });
    return;
  }
  std::vector<keyed> keys;
  keys.reserve(displayed_.size());
  for (terminal* t : displayed_) {
    keyed k{rankOf(t->mac), 0, {}, t};
    if (column == sortByMac)
      k.number = macNumber(t->mac);
    else if (column == sortByIp)
      k.number = ntohl(t->ip);
    else
      k.text = t->host;
    keys.push_back(k);
  }
  bool byText = column == sortByHost;
  std::stable_sort(keys.begin(), keys.end(), [byText](const keyed& a, const keyed& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    if (rankDecides(a.rank)) return false;
    return byText ? a.text < b.text : a.number < b.number;
  });
  for (std::size_t i = 0; i < keys.size(); ++i) displayed_[i] = keys[i].t;
}

const std::vector<terminal*>& terminalsListModel::displayed() const {
  sort();
  return displayed_;
}

std::size_t terminalsListModel::placeFor(const terminal& t) const {
  // After every entry that is not greater: equal entries keep their arrival order.
  auto at = std::upper_bound(displayed_.begin(), displayed_.end(), &t,
                             [&](const terminal* x, terminal* e) { return compare(*e, *x) > 0; });
  return std::size_t(at - displayed_.begin());
}

std::ptrdiff_t terminalsListModel::indexOf(const terminal& t) const {
  sort();
  auto found = std::find(displayed_.begin(), displayed_.end(), &t);
  return found == displayed_.end() ? -1 : found - displayed_.begin();
}

bool terminalsListModel::offer(terminal& t) {
  if (!shown(t)) return false;
  if (!listed_.insert(t.mac).second) {
    errno = EEXIST;
    ZV_INTERNAL_ERROR();
    return false;
  }
  seen_.erase(&t);
  if (!keepSorted_) {
    displayed_.push_back(&t);
    sorted_ = displayed_.size() < 2;
    return true;
  }
  sort();
  displayed_.insert(displayed_.begin() + std::ptrdiff_t(placeFor(t)), &t);
  return true;
}

void terminalsListModel::rebuild(const std::vector<terminal*>& all) {
  displayed_.clear();
  seen_.clear();
  displayed_.reserve(all.size());
  // A new sort lists the same terminals: the set of listed MACs then stays as it is,
  // which spares 50,000 insertions into a hash set.
  bool same = true;
  std::size_t shownCount = 0;
  for (terminal* t : all) {
    if (!shown(*t)) continue;
    ++shownCount;
    same = same && listed_.count(t->mac) != 0;
  }
  same = same && shownCount == listed_.size();
  if (!same) listed_.clear();
  for (terminal* t : all) {
    if (!shown(*t)) continue;
    if (!same && !listed_.insert(t->mac).second) continue;
    displayed_.push_back(t);
  }
  sorted_ = false;
  sort();
}

void terminalsListModel::keepSorted() {
  sort();
  keepSorted_ = true;
}

std::ptrdiff_t terminalsListModel::withdraw(const terminal& t) {
  std::ptrdiff_t index = indexOf(t);
  if (index >= 0) displayed_.erase(displayed_.begin() + index);
  listed_.erase(t.mac);
  seen_.erase(&t);
  return index;
}

std::ptrdiff_t terminalsListModel::replace(terminal& t) {
  std::ptrdiff_t old = indexOf(t);
  if (old >= 0) displayed_.erase(displayed_.begin() + old);
  seen_.erase(&t);
  if (!shown(t)) {
    listed_.erase(t.mac);
    return -1;
  }
  listed_.insert(t.mac);
  std::size_t place = placeFor(t);
  displayed_.insert(displayed_.begin() + std::ptrdiff_t(place), &t);
  return std::ptrdiff_t(place);
}

}  // namespace zv
