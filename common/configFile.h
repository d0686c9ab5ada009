#pragma once
// configFile: a terminal's configuration (config.zvc) — terminal-wide options, the
// names of the templates it inherits, and its screen layout: up to four screens on the
// first monitor and up to four on a second one, each a list of up to 42 connections.
// A connection names an entry of the connection library and adds corrective options.
//
// The text form (written by saveConfig, UTF-16LE with FF FE and CR LF):
//   general options as 'key=value'
//   template NAME                          one line per template, in order
//   first screen hidden                    only when the first screen is hidden
//   connection NAME  + its options         each connection of the first screen
//   next screen[ hidden]  + connections    every further first-monitor screen
//   M2_next screen[ hidden] + connections  every second-monitor screen
// Loading (setOption, once per line) decides by the option specification where an option
// belongs; an option it does not know goes where it stands.
//
// Names (templates, connections) are 8-bit: each UTF-16 code unit of a value is cut to
// its low byte. A configuration belongs to the user-interface thread.

#include "common/configSaver.h"
#include "common/optionList.h"
#include "common/textConfigFile.h"

#include <memory>
#include <string>
#include <vector>

namespace zv {

class GUIConnectionsFile;

constexpr std::size_t maxTemplateNames = 100;
constexpr std::size_t maxScreens = 4;       // per monitor
constexpr std::size_t maxConnections = 42;  // per screen

enum class monitor { first = 0, second = 1 };

struct configConnection {
  std::string name;                                // may be empty
  std::shared_ptr<const GUIConnectionsFile> link;  // the library entry, or none
  optionList options{ZV_SECTION_CONNECTION};       // corrective options
};

struct configScreen {
  std::vector<configConnection> connections;
  bool hidden = false;
};

// Reads a screen value: "screen", blanks, then nothing (visible) or "hidden" (hidden;
// repeated copies allowed), all without ASCII case. False for anything else.
bool parseScreenValue(std::u16string_view value, bool& hidden);

// A value as an 8-bit name: each code unit cut to its low byte.
std::string narrowName(std::u16string_view value);

class configFile : public CL, public CS {
 public:
  // One empty visible first-monitor screen, nothing else.
  configFile();
  configFile(const configFile&) = default;
  configFile& operator=(const configFile&) = default;
  ~configFile() override = default;

  // One line of the file; see the header comment and the loading rules in the .cpp.
  bool setOption(const std::string& key, const std::u16string& value,
                 const versionSpec* spec) override;
  // The flags that steer setOption through one load.
  void clearParseFlags();

  optionList& generalOptions() { return general_; }
  const optionList& generalOptions() const { return general_; }

  const std::vector<std::string>& templateNames() const { return templateNames_; }
  // Appends a name; the 101st is an internal error and is dropped. False for an empty name.
  bool addTemplateName(std::string name);

  const std::vector<configScreen>& screens(monitor which) const;
  // The connection, or null (internal error) when an index is out of range.
  configConnection* connection(int screen, int connection, monitor which);
  const configConnection* connection(int screen, int connection, monitor which) const;

  // One first-monitor screen at least; every screen without connections gets one empty
  // connection.
  void normalizeScreens();

  // Appends empty screens until `index` exists, then takes the screen's connections and
  // hidden flag. An index above 3 is an internal error and is refused.
  bool setScreen(int index, const configScreen& screen, monitor which);
  // An empty screen at the end (holding one empty connection). False (internal error)
  // when the monitor has four.
  bool addScreen(monitor which);
  // Removes a screen; false (internal error) when it does not exist.
  bool removeScreen(int index, monitor which);

  // Screen and connection both -1: replaces the general options (taking the list's kind);
  // otherwise replaces that connection's options. False (internal error) when out of range.
  bool setScopeOptions(const optionList& list, int screen, int connection, monitor which);
  // Removes the key from the general options (both indices -1) or from that connection.
  bool removeScopeOption(std::string_view key, int screen, int connection, monitor which);

  // No connection, or exactly one with an empty name and no options. An index out of
  // range is an internal error (and not empty).
  bool screenIsEmpty(int index, monitor which) const;
  // Nothing worth a file: no general options, no templates, no second-monitor screen, and
  // no first-monitor screen or one empty one.
  virtual bool isEmpty() const;

  // The text form, line by line with CR LF. Screens of the first monitor without
  // connections are written with one empty connection.
  std::vector<std::u16string> textLines() const;
  // Writes the text form (atomically). Refused (internal error) when the first monitor has
  // no screen; first-monitor screens without connections get an empty one first.
  bool saveConfig(const std::string& path);

 protected:
  std::vector<std::string>& mutableTemplateNames() { return templateNames_; }
  std::vector<configScreen>& mutableScreens(monitor which);

 private:
  // Where an option line belongs when it stands after a layout line.
  configConnection* currentConnection();

  optionList general_{ZV_SECTION_GENERAL};
  std::vector<std::string> templateNames_;
  std::vector<configScreen> screens_[2];
  bool inConnectionPart_ = false;
  bool inSecondMonitorPart_ = false;
};

}  // namespace zv
