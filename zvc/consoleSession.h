#pragma once
// One run of the console's user interface: the per-user settings, the main window, the
// terminals list and the add and find dialogs, connected to each other and to the
// register that start-up loaded.
//
// open() reads the settings, builds the main document with the list, opens it through
// the console's user interface (its browser window gets the saved size and position)
// and takes the window over. Closing the main window asks the leave check and saves the
// settings with the geometry the browser last reported.
//
// User-interface thread only.

#include "platform/registry.h"
#include "zvc/mainWindow.h"
#include "zvc/terminalDialogs.h"
#include "zvc/terminalsList.h"
#include "zvc/userSettings.h"

#include <memory>
#include <string>

namespace zv {

class consoleUi;
struct consoleState;

// Reads a registered terminal's identity, hidden flag, specification, comment and
// wake-on-LAN port again from its directory (its configuration stays as it is).
void reloadTerminalRecord(terminal& t, const installedVersions& versions);

class consoleSession {
 public:
  consoleSession(consoleUi& ui, eventLoop& loop, consoleState& state, registryStore& userStore,
                 std::string skinDirectory);
  ~consoleSession();
  consoleSession(const consoleSession&) = delete;
  consoleSession& operator=(const consoleSession&) = delete;

  // False when the user interface could not open the main window.
  bool open();

  mainWindow& main() { return *main_; }
  terminalsList* list() { return list_.get(); }
  userSettings& settings() { return settings_; }
  // Saves the settings with the main window's last reported geometry.
  bool saveSettingsNow();

 private:
  void frameBuilt(consoleMode mode, document& doc);
  void wireCommands();
  void terminalChanged(const macAddress& mac);
  terminalDialogHooks dialogHooks();

  consoleUi& ui_;
  eventLoop& loop_;
  consoleState& state_;
  registryStore& userStore_;
  userSettings settings_;
  std::unique_ptr<mainWindow> main_;
  std::unique_ptr<terminalsList> list_;
};

}  // namespace zv
