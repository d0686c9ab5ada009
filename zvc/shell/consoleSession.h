#pragma once
// One run of the console's user interface: the per-user settings, the main window, the
// terminals list and the add and find dialogs, connected to each other and to the
// register that start-up loaded.
//
// The settings are read when the session is made. open() builds the main document with
// the list and has it opened (the console's user interface does it, giving its browser
// window the saved size and position; tests open it in a window host alone) and takes
// the window over. Closing the main window (closeRequested) asks the leave check and
// saves the settings with the geometry the browser last reported.
//
// User-interface thread only.

#include "platform/registry.h"
#include "zvc/editor/configPanels.h"
#include "zvc/register/terminalDialogs.h"
#include "zvc/register/terminalsList.h"
#include "zvc/services/terminalDhcpPanel.h"
#include "zvc/shell/mainWindow.h"
#include "zvc/ui/userSettings.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace zv {

struct consoleState;

// Opens the main window with its document at the placement; 0 when it cannot.
using mainWindowOpener =
    std::function<windowId(std::unique_ptr<document> doc, const screenRect& placement)>;

// Reads a registered terminal's identity, hidden flag, specification, comment and
// wake-on-LAN port again from its directory (its configuration stays as it is).
void reloadTerminalRecord(terminal& t, const installedVersions& versions);

class consoleSession {
 public:
  consoleSession(windowHost& windows, eventLoop& loop, consoleState& state,
                 registryStore& userStore, std::string skinDirectory);
  ~consoleSession();
  consoleSession(const consoleSession&) = delete;
  consoleSession& operator=(const consoleSession&) = delete;

  // False when the main window could not be opened.
  bool open(const mainWindowOpener& opener);

  mainWindow& main() { return *main_; }
  terminalsList* list() { return list_.get(); }
  configPanels& panels() { return *panels_; }
  userSettings& settings() { return settings_; }
  // Saves the settings with the main window's last reported geometry.
  bool saveSettingsNow();

 private:
  void frameBuilt(consoleMode mode, document& doc);
  void wireCommands();
  void terminalChanged(const macAddress& mac);
  terminalDialogHooks dialogHooks();
  // Makes the tab of the panel current in "main_tabs".
  void selectPanel(std::string_view panel);
  configPanelsHooks panelHooks();
  void makeDhcpPanel();
  // The options editor as the panels open it.
  bool editOptions(optionsEditorTarget& target, const versionSpec* spec,
                   const std::string& initialKey);

  windowHost& windows_;
  eventLoop& loop_;
  consoleState& state_;
  registryStore& userStore_;
  userSettings settings_;
  std::unique_ptr<mainWindow> main_;
  std::unique_ptr<terminalsList> list_;
  std::unique_ptr<configPanels> panels_;
  std::unique_ptr<terminalDhcpPanel> dhcpPanel_;  // with the installation's DHCP defaults
};

}  // namespace zv
