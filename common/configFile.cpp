#include "common/configFile.h"

#include "common/specLookup.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <utility>

namespace zv {
namespace {

std::size_t side(monitor which) {
  return which == monitor::second ? 1 : 0;
}

bool isBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// Appends a connection unless the screen is full (internal error; the line still counts).
void appendConnection(configScreen& screen, std::string name) {
  if (screen.connections.size() >= maxConnections) {
    ZV_INTERNAL_ERROR();
    return;
  }
  screen.connections.push_back({std::move(name), nullptr, optionList(ZV_SECTION_CONNECTION)});
}

void appendConnectionLines(const configScreen& screen, std::vector<std::u16string>& lines) {
  if (screen.connections.empty()) lines.push_back(u"connection \r\n");
  for (const configConnection& c : screen.connections) {
    lines.push_back(textLine(u"connection " + widenAscii(c.name)));
    for (std::u16string& line : c.options.lines()) lines.push_back(std::move(line));
  }
}

}  // namespace

bool parseScreenValue(std::u16string_view value, bool& hidden) {
  hidden = false;
  if (!startsWithNoCase(value, u"screen")) return false;
  std::size_t i = 6;
  for (;;) {
    while (i < value.size() && isBlank(value[i])) ++i;
    if (i == value.size()) return true;
    if (!startsWithNoCase(value.substr(i), u"hidden")) return false;
    hidden = true;
    i += 6;
  }
}

std::string narrowName(std::u16string_view value) {
  std::string name;
  name.reserve(value.size());
  for (char16_t c : value) name.push_back(char(c & 0xFF));
  return name;
}

configFile::configFile() {
  screens_[0].emplace_back();
}

void configFile::clearParseFlags() {
  inConnectionPart_ = false;
  inSecondMonitorPart_ = false;
}

const std::vector<configScreen>& configFile::screens(monitor which) const {
  return screens_[side(which)];
}

std::vector<configScreen>& configFile::mutableScreens(monitor which) {
  return screens_[side(which)];
}

bool configFile::addTemplateName(std::string name) {
  if (name.empty()) return false;
  if (templateNames_.size() >= maxTemplateNames) {
    ZV_INTERNAL_ERROR();
    return true;
  }
  templateNames_.push_back(std::move(name));
  return true;
}

configConnection* configFile::currentConnection() {
  std::vector<configScreen>& list = screens_[inSecondMonitorPart_ ? 1 : 0];
  if (list.empty()) {
    ZV_INTERNAL_ERROR();
    return nullptr;
  }
  configScreen& screen = list.back();
  if (screen.connections.empty()) screen.connections.emplace_back();
  return &screen.connections.back();
}

// Loading rules, one call per line (the loader retries a refused line without the
// specification):
//  - a key the specification knows goes where its section mask allows: a connection
//    option into the current connection once the layout has begun, else into the general
//    options when it may stand there; a general-only option always into the general
//    options, wherever it stands;
//  - layout lines (template, first, next, connection, M2_next) build the layout;
//  - without a specification any other key goes where it stands: the general options
//    before the first layout line, the current connection after it.
bool configFile::setOption(const std::string& key, const std::u16string& value,
                           const versionSpec* spec) {
  if (const zvOptionSpecRecord* record = findOptionRecord(spec, key)) {
    optionList* target = nullptr;
    if ((record->sectionMask & ZV_SECTION_CONNECTION) != 0) {
      if (screens_[0].empty()) {
        ZV_INTERNAL_ERROR();
        return false;
      }
      if (inConnectionPart_) {
        configConnection* current = currentConnection();
        if (current == nullptr) return false;
        target = &current->options;
      } else if ((record->sectionMask & ZV_SECTION_GENERAL) != 0) {
        target = &general_;
      }
    } else if ((record->sectionMask & ZV_SECTION_GENERAL) != 0) {
      target = &general_;
    }
    if (target == nullptr) {
      ZV_INTERNAL_ERROR();
      return false;
    }
    return target->set(record->name != nullptr ? record->name : key, value, spec);
  }

  if (equalsNoCase(key, "template")) {
    if (value.empty()) {
      ZV_INTERNAL_ERROR();
      return false;
    }
    return addTemplateName(narrowName(value));
  }
  if (equalsNoCase(key, "first")) {
    bool hidden = false;
    if (screens_[0].size() != 1 || !parseScreenValue(value, hidden)) {
      ZV_INTERNAL_ERROR();
      return false;
    }
    screens_[0][0].hidden = hidden;
    return true;
  }
  if (equalsNoCase(key, "next")) {
    bool hidden = false;
    if (screens_[0].empty() || screens_[0].size() >= maxScreens ||
        !parseScreenValue(value, hidden)) {
      ZV_INTERNAL_ERROR();
      return false;
    }
    screens_[0].push_back({{}, hidden});
    inConnectionPart_ = true;
    return true;
  }
  if (equalsNoCase(key, "connection")) {
    if (inSecondMonitorPart_ && !screens_[1].empty()) {
      appendConnection(screens_[1].back(), narrowName(value));
      return true;
    }
    if (screens_[0].empty()) {
      ZV_INTERNAL_ERROR();
      return false;
    }
    appendConnection(screens_[0].back(), narrowName(value));
    inConnectionPart_ = true;
    return true;
  }
  if (equalsNoCase(key, "M2_next")) {
    bool hidden = false;
    if (screens_[1].size() >= maxScreens || !parseScreenValue(value, hidden)) {
      ZV_INTERNAL_ERROR();
      return false;
    }
    screens_[1].push_back({{}, hidden});
    inConnectionPart_ = true;
    inSecondMonitorPart_ = true;
    return true;
  }
  if (spec != nullptr) return false;
  if (!inConnectionPart_) return general_.set(key, value);
  configConnection* current = currentConnection();
  return current != nullptr && current->options.set(key, value);
}

const configConnection* configFile::connection(int screen, int connection, monitor which) const {
  const std::vector<configScreen>& list = screens_[side(which)];
  if (screen < 0 || std::size_t(screen) >= list.size() || connection < 0 ||
      std::size_t(connection) >= list[screen].connections.size()) {
    ZV_INTERNAL_ERROR();
    return nullptr;
  }
  return &list[screen].connections[connection];
}

configConnection* configFile::connection(int screen, int connection, monitor which) {
  return const_cast<configConnection*>(std::as_const(*this).connection(screen, connection, which));
}

void configFile::normalizeScreens() {
  if (screens_[0].empty()) screens_[0].emplace_back();
  for (std::vector<configScreen>& list : screens_)
    for (configScreen& screen : list)
      if (screen.connections.empty()) screen.connections.emplace_back();
}

bool configFile::setScreen(int index, const configScreen& screen, monitor which) {
  std::vector<configScreen>& list = screens_[side(which)];
  if (index < 0 || std::size_t(index) >= maxScreens || screen.connections.size() > maxConnections) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  while (list.size() <= std::size_t(index)) list.emplace_back();
  list[index].connections = screen.connections;
  list[index].hidden = screen.hidden;
  return true;
}

bool configFile::addScreen(monitor which) {
  std::vector<configScreen>& list = screens_[side(which)];
  if (list.size() >= maxScreens) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  list.emplace_back().connections.emplace_back();
  return true;
}

bool configFile::removeScreen(int index, monitor which) {
  std::vector<configScreen>& list = screens_[side(which)];
  if (index < 0 || std::size_t(index) >= list.size()) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  list.erase(list.begin() + index);
  return true;
}

bool configFile::setScopeOptions(const optionList& list, int screen, int connection,
                                 monitor which) {
  if (screen == -1 && connection == -1) {
    general_ = list;
    return true;
  }
  configConnection* target = this->connection(screen, connection, which);
  if (target == nullptr) return false;
  target->options = list;
  return true;
}

bool configFile::removeScopeOption(std::string_view key, int screen, int connection,
                                   monitor which) {
  if (screen == -1 && connection == -1) return general_.remove(key);
  configConnection* target = this->connection(screen, connection, which);
  return target != nullptr && target->options.remove(key);
}

bool configFile::screenIsEmpty(int index, monitor which) const {
  const std::vector<configScreen>& list = screens_[side(which)];
  if (index < 0 || std::size_t(index) >= list.size()) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  const std::vector<configConnection>& connections = list[index].connections;
  return connections.empty() ||
         (connections.size() == 1 && connections[0].name.empty() && connections[0].options.empty());
}

bool configFile::isEmpty() const {
  if (!general_.empty() || !templateNames_.empty() || !screens_[1].empty()) return false;
  return screens_[0].empty() || (screens_[0].size() == 1 && screenIsEmpty(0, monitor::first));
}

std::vector<std::u16string> configFile::textLines() const {
  std::vector<std::u16string> lines = general_.lines();
  for (const std::string& name : templateNames_)
    lines.push_back(textLine(u"template " + widenAscii(name)));
  for (std::size_t i = 0; i < screens_[0].size(); ++i) {
    const configScreen& screen = screens_[0][i];
    if (i == 0) {
      if (screen.hidden) lines.push_back(u"first screen hidden\r\n");
    } else {
      lines.push_back(screen.hidden ? u"next screen hidden\r\n" : u"next screen\r\n");
    }
    appendConnectionLines(screen, lines);
  }
  for (const configScreen& screen : screens_[1]) {
    lines.push_back(screen.hidden ? u"M2_next screen hidden\r\n" : u"M2_next screen\r\n");
    for (const configConnection& c : screen.connections) {
      lines.push_back(textLine(u"connection " + widenAscii(c.name)));
      for (std::u16string& line : c.options.lines()) lines.push_back(std::move(line));
    }
  }
  return lines;
}

bool configFile::saveConfig(const std::string& path) {
  if (screens_[0].empty()) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  for (configScreen& screen : screens_[0])
    if (screen.connections.empty()) screen.connections.emplace_back();
  return saveConfigLines(path, textLines());
}

}  // namespace zv
