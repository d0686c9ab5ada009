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
  // The main window, which owns the dialogs, once it is open.
  void setMainWindow(windowId window) { mainWindow_ = window; }
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
  // Makes the row of the code current (0: the first row).
  void selectPanelOption(int32_t code);
  // Fills the panel from the current terminal.
  void renderTerminalDhcpPanel();

  // Edits of the panel's inputs (input events of "terminal_host" and "terminal_comment",
  // select and selectionChanged of "boot_type") are noted and left to the control, which
  // takes the value itself: false. Double clicks and context menus over the option list
  // are taken: true. The context menu's items carry command ids (commandIds), which the
  // main window's dispatch hands to runCommand.
  bool handleEvent(uiEvent& e);

 private:
  void setButtons();
  element* need(const char* id);
  void openOptions(int32_t code);
  void removeCurrentOption();
  int32_t currentCode();
  void changeAddress();
  bool inputsValid(std::u16string& host, std::u16string& comment);

  windowHost& windows_;
  terminalRegister& terminals_;
  dhcpDefaults& defaults_;
  terminalDhcpPanelHooks hooks_;
  document* doc_ = nullptr;
  windowId mainWindow_ = 0;
  terminal* current_ = nullptr;
  bool inputsEdited_ = false;   // the boot type or an input was edited
  bool optionsEdited_ = false;  // the options dialog changed the list, or a row was removed
  bool hostEdited_ = false;     // the host input in particular
};

// The change-address window "ZVIP" for the terminal; true when an address was stored.
bool openChangeAddressDialog(windowHost& windows, windowId owner, terminalRegister& terminals,
                             terminal& t, const std::function<void(terminal&)>& reboot);

}  // namespace zv
