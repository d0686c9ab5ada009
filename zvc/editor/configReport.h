#pragma once
// A terminal's configuration described for reading: its own options, templates and
// screens, and for every option the value in effect with where it comes from. zvctl's
// "config show" turns it into JSON. User-interface thread (it asks the specification).

#include "common/GUIConfigFile.h"

#include <string>
#include <vector>

namespace zv {

struct effectiveEntry {
  std::string key;
  effectiveOption effective;
};

struct connectionReport {
  std::string name;  // the library connection it names, or ""
  bool linked = false;
  std::u16string displayName;
  std::vector<configOption> options;      // its corrective options
  std::vector<effectiveEntry> effective;  // every connection option in effect here
};

struct screenReport {
  monitor which = monitor::first;
  int index = 0;
  bool hidden = false;
  std::vector<connectionReport> connections;
};

struct configReport {
  std::vector<configOption> general;
  std::vector<std::string> templates;
  std::vector<screenReport> screens;  // first monitor, then second
  // The general scope: with a specification every key it lists for the general part, in
  // its order; without one every key of the all-terminals template, the templates and the
  // own options, in order of first appearance.
  std::vector<effectiveEntry> effective;
};

// What a connection on a screen is called: its own "displayName", else its library
// connection's display name, else its name, else "Connection".
std::u16string connectionDisplayName(const configConnection& connection);

// Where a value in effect comes from, as the editors show it: "Значение по умолчанию",
// "Общая политика", "Шаблон NAME", "Соединение NAME", "Корректирующий параметр
// соединения NAME", "Конфигурация терминала" (UTF-8; empty for valueSource::none).
std::string sourceText(const effectiveOption& effective);

configReport describeConfiguration(const GUIConfigFile& config, const versionSpec* spec);

}  // namespace zv
