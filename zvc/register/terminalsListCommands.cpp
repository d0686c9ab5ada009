// The row commands of the terminals list, on the current terminal: hide (or show again),
// delete, copy the MAC, and the DHCP server's ignore list.
#include "common/DHCPIgnoreMACs.h"
#include "common/installPaths.h"
#include "common/terminalID.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/registerLock.h"
#include "zvc/register/terminalForms.h"
#include "zvc/register/terminalsList.h"
#include "zvc/ui/messageBox.h"

#include <cerrno>

namespace zv {

void terminalsList::hideCurrent() {
  terminal* t = terminals_.current();
  if (!t || t->mac.isPseudo()) return;
  if (hooks_.mayLeave && !hooks_.mayLeave()) return;
  registerLock lock;
  if (!lock.take(paths().dataDir)) {
    messageBox(registerBusyText, errorCaption, boxButtons::ok, boxIcon::error);
    return;
  }
  // A terminal another program removed meanwhile keeps its row, but its directory is not
  // made again just to hold "hidden".
  if (!isDirectory(existingTerminalDirectory(t->mac))) {
    logMessage("Terminal %s has no directory any more; it is not hidden.",
               t->mac.logText().c_str());
    return;
  }
  // Listed only under "all, hidden too", a hidden terminal is shown again by the same
  // command.
  t->hidden = !t->hidden;
  if (!saveHidden(*t)) {
    t->hidden = !t->hidden;
    ZV_INTERNAL_ERROR();
    return;
  }
  element* row = rowOf(*t);
  if (!t->hidden || settings_.filterColumn == filterAll) {
    if (row) row->setAttribute("class", t->hidden ? "hidden_item current" : rowClass(*t));
    return;
  }
  std::size_t index = row ? row->index() : 0;
  removeRow(*t);
  if (row) activateNeighbour(index);
}

void terminalsList::removeCurrent() {
  terminal* t = terminals_.current();
  if (!t || t->mac.isPseudo()) return;
  if (messageBox("Вы действительно хотите удалить терминал со всеми настройками и "
                 "конфигурационным файлом?",
                 warningCaption, boxButtons::yesNo, boxIcon::warning) != boxAnswer::yes)
    return;
  registerLock lock;
  if (!lock.take(paths().dataDir)) {
    messageBox(registerBusyText, errorCaption, boxButtons::ok, boxIcon::error);
    return;
  }
  if (!deleteTerminal(*t)) return;
  lock.release();
  element* row = rowOf(*t);
  std::size_t index = row ? row->index() : 0;
  removeRow(*t);
  terminals_.remove(t);
  activateNeighbour(index);
}

void terminalsList::copyMac() {
  terminal* t = terminals_.current();
  if (!t || t->mac.isPseudo() || !hooks_.setClipboard) return;
  hooks_.setClipboard(t->mac.logText());
}

void terminalsList::setDhcpIgnored(bool ignore) {
  terminal* t = terminals_.current();
  if (!t || t->mac.isPseudo() || paths().dhcpDir.empty()) return;
  ignoreList list;
  if (!loadIgnoreList(paths().dhcpDir, list)) {
    // Saving now would drop every MAC after the damaged line.
    messageBox("Список игнорируемых MAC-адресов DHCP сервера повреждён и не изменён.", errorCaption,
               boxButtons::ok, boxIcon::error);
    return;
  }
  // Listed means ignored in mode 0 and answered in mode 1.
  bool listed = ignore == (list.mode == ignoreMode::ignoreListed);
  if (listed) {
    if (!list.add(t->mac)) {
      errno = ENOSPC;
      ZV_INTERNAL_ERROR();
      return;
    }
  } else {
    list.remove(t->mac);
  }
  if (!saveIgnoreList(paths().dhcpDir, list)) return;
  updateDhcpItems(t);
}

}  // namespace zv
