#pragma once
// The register of terminals: every terminal the console knows, in memory, and the
// operations that load, save, find and delete them on disk (one directory each below
// the terminals directory, named after the MAC).
//
// The register and its terminals belong to the user-interface thread. Background
// threads never touch them: they report MACs and the UI thread reloads from disk.
// Terminals are made on the heap and never freed before exit; removing one only takes
// it out of the register, so a pointer held elsewhere never dangles.

#include "common/GUIConfigFile.h"
#include "common/mac.h"
#include "common/optionsDHCP.h"
#include "common/terminalID.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zv {

struct versionSpec;

struct terminal : terminalID {
  static constexpr std::size_t commentLimit = 63;

  uint32_t bootType = 0;                             // 0 not set, 1 TFTP, 2 HTTP
  dhcpOptionList dhcp;                               // the terminal's own DHCP options
  GUIConfigFile config;                              // its configuration, linked to the libraries
  std::chrono::system_clock::time_point configTime;  // when `config` was loaded or saved
  std::u16string configError;         // why "config.zvc" did not load; empty when it did
  const versionSpec* spec = nullptr;  // specification of `version`, or none
  bool hidden = false;
  std::u16string comment;       // at most commentLimit units
  uint16_t wolPort = 0;         // 0: the default port 7
  uint8_t onlineCountdown = 0;  // minutes still counted as online, 0 to 3

  terminal(const macAddress& address, const configLibraries& libraries)
      : terminalID(address), config(libraries) {}
};

// 1 when "config.zvc" exists, 2 when only "config.zvc.broken" does, otherwise 0.
int configStatus(const terminal& t);

// The single-file facts of a terminal directory.
void loadComment(terminal& t);
bool saveComment(const terminal& t);
void loadWolPort(terminal& t);
bool saveWolPort(const terminal& t);
void loadHidden(terminal& t);
// Writes "hidden" (the byte "1") when hidden, otherwise deletes it.
bool saveHidden(const terminal& t);

// Writes everything of the terminal; `seenOnline` as for storeIdentity. An empty
// configuration is not written (the file on disk stays as it is).
bool saveTerminal(terminal& t, bool seenOnline);
// Writes "config.zvc" and notes the time.
bool saveConfiguration(terminal& t);
// Removes the terminal's directory and its stored remote-control password. A directory
// that cannot be removed is shown in an error box; the result is then false.
bool deleteTerminal(const terminal& t);

// The same machine: equal valid MACs; else equal usable addresses; else equal host
// names (ASCII case-blind).
bool sameMachine(const terminalID& a, const terminalID& b);

class terminalRegister {
 public:
  // The libraries every configuration links to; they outlive the register.
  explicit terminalRegister(const configLibraries& libraries) : libraries_(&libraries) {}
  const configLibraries& libraries() const { return *libraries_; }

  // Called for every terminal that enters the register (the displayed list inserts it).
  std::function<void(terminal&)> offerToList;
  // Looks up the specification of a version name (installed versions).
  std::function<const versionSpec*(std::string_view version)> findSpec;
  // Group numbers in list order, for the group pseudo-terminals.
  std::function<std::vector<int>()> groupNumbers;
  // Loads without changing anything on disk, into the register the console would show:
  // pseudo-terminals whose directories are missing are registered in memory only, a
  // configuration that fails to load is logged but not set aside, the host name of DHCP
  // option 12 is taken over in memory only. For programs that only report (zvctl).
  bool readOnly = false;

  // Start-up: pseudo-terminal and group directories, then every terminal directory.
  void loadAllTerminals();
  // Loads the terminal from its directory and appends it; the terminal, or null when
  // the MAC is already registered.
  terminal* loadTerminal(const macAddress& mac);
  // Makes the directory and an empty configuration for every group lacking them.
  void createGroupDirectories();
  // createGroupDirectories, then loadTerminal for every group.
  void loadGroupTerminals();
  // Appends a terminal made elsewhere; refuses a MAC already registered.
  terminal* addTerminal(std::unique_ptr<terminal> t);
  // Takes the terminal out of the register (it stays allocated).
  void remove(const terminal* t);

  terminal* findByMac(const macAddress& mac) const;
  terminal* findByMacText(std::string_view text) const;
  terminal* findByMacText(std::u16string_view text) const;
  terminal* findSame(const terminalID& identity) const;

  const std::vector<terminal*>& all() const { return order_; }
  std::size_t size() const { return order_.size(); }
  terminal* current() const { return current_; }
  void setCurrent(terminal* t) { current_ = t; }

 private:
  terminal* append(std::unique_ptr<terminal> t);

  const configLibraries* libraries_;
  std::vector<std::unique_ptr<terminal>> owned_;
  std::vector<terminal*> order_;
  std::unordered_map<macAddress, terminal*, macAddressHash> byMac_;
  std::size_t invalidMacs_ = 0;  // registered terminals whose MAC is not valid
  terminal* current_ = nullptr;
};

}  // namespace zv
