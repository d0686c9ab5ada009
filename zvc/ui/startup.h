#pragma once
// What start-up is made of: the steps the console runs in their fixed order (filled
// by the modules that load something, run by the shell), and the message box of a
// failure that comes before any window exists.
//
// User-interface thread only: the thread that runs start-up.

#include <functional>
#include <string>

namespace zv {

struct startupSteps {
  // 4-6: network interfaces, bound addresses, foreign DHCP probe addresses.
  std::function<void()> scanInterfaces;
  std::function<void()> readBindIp;
  std::function<void()> rebuildProbeAddresses;
  // 7: claims the instance mailslot; false when another console keeps running (exit 0).
  std::function<bool()> claimInstance;
  // 8: the instance listener thread.
  std::function<void()> startInstanceListener;
  // 9: window geometry and list settings.
  std::function<void()> readWindowSettings;
  // 10-17: everything the console shows.
  std::function<void()> scanVersions;
  std::function<void()> loadSpecifications;
  std::function<void()> readBootMode;
  std::function<void()> loadDhcpDefaults;
  std::function<void()> loadGroups;
  std::function<void()> loadConnections;
  std::function<void()> loadTemplates;
  std::function<void()> loadTerminals;
  // 18-20: false is fatal.
  std::function<bool()> registerLogViewClass;
  std::function<bool()> registerMainWindowClass;
  std::function<bool()> createMainWindow;
  // 21: returns the quit message's exit code. Without it start-up ends with 0.
  std::function<int()> runMessageLoop;
  // Shutdown.
  std::function<void()> closeInstance;
  std::function<void()> closeViewers;
};

// Shows a message box that has no owner window: caption and text on standard error
// and, once the logs directory is known, in the diagnostic log.
void startupMessageBox(const std::string& text, const std::string& caption);

constexpr const char* criticalCaption = "Критическая ошибка";

}  // namespace zv
