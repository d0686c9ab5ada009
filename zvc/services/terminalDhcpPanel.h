#pragma once
// The DHCP panel of the current terminal ("panel-dhcp"): its DHCP options in effect, its
// address, host name, comment and boot type, the commands that open the DHCP options
// window and the change-address window, and the two marks of unsaved edits that the
// configuration panels' leave check reads.
//
// User-interface thread only.

#include "htmlview/dom.h"
#include "htmlview/events.h"
#include "htmlview/windowHost.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zv {

class dhcpDefaults;
class terminalRegister;
struct terminal;

struct terminalDhcpPanelHooks {
  // The DHCP options window (t nullptr: the defaults) with `firstCode` selected; true when
  // it saved something or left edits unsaved.
  std::function<bool(terminal* t, int32_t firstCode)> openOptions;
  // The terminal's row in the list shows it again.
  std::function<void(terminal&)> terminalChanged;
  // Switches the main window to a tools page ("dhcp_interfaces", "dhcp_ranges",
  // "boot_default").
  std::function<void(const std::string& command)> switchTo;
  // Reboots the terminal (the question after a new address); empty: not offered yet.
  std::function<void(terminal&)> reboot;
  // The installation's default boot type (1 TFTP, 2 HTTP) for the "как у всех" caption.
  std::function<uint32_t()> defaultBootType;
};

class terminalDhcpPanel {
 public:
  terminalDhcpPanel(windowHost& windows, terminalRegister& terminals, dhcpDefaults& defaults,
                    terminalDhcpPanelHooks hooks);
  ~terminalDhcpPanel();
  terminalDhcpPanel(const terminalDhcpPanel&) = delete;
  terminalDhcpPanel& operator=(const terminalDhcpPanel&) = delete;

  // The main frame was built in terminals mode (the panel's skeleton goes into
  // "panel-dhcp"); `mainWindow` owns the dialogs.
  void frameBuilt(document& doc, windowId mainWindow);
  void frameLeft();
  // The current terminal changed (nullptr: none); the marks are cleared.
  void showTerminal(terminal* t);
  // The terminal reported itself or was reloaded: the panel shows it again (unless it
  // holds unsaved edits).
  void refresh();

  // Unsaved edits of the panel (either of the two marks).
  bool marked() const;
  bool savePanel();
  void restorePanel();

  static const std::vector<std::string>& commandIds();
  bool runCommand(const std::string& id, uiEvent& e);
  // Edits of the panel's inputs and selects (input, selection and popup events), and
  // double clicks and context menus over its list. True when taken.
  bool handleEvent(uiEvent& e);
};

// The change-address window "ZVIP" for the terminal; true when an address was stored.
bool openChangeAddressDialog(windowHost& windows, windowId owner, terminalRegister& terminals,
                             terminal& t, const std::function<void(terminal&)>& reboot);

}  // namespace zv
