#include "common/GUIConfigFile.h"

#include "common/specLookup.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <algorithm>

namespace zv {

GUIConfigFile::GUIConfigFile(const configLibraries& libraries) : libraries_(&libraries) {}

void GUIConfigFile::reset() {
  static_cast<configFile&>(*this) = configFile();
  templateLinks_.clear();
}

bool GUIConfigFile::finishLoad(std::u16string& failure) {
  normalizeScreens();
  failure = resolveTemplates();
  if (failure.empty()) failure = resolveConnections(monitor::first);
  if (failure.empty()) failure = resolveConnections(monitor::second);
  return failure.empty();
}

bool GUIConfigFile::load(const std::string& path, const versionSpec* spec) {
  // A reload starts from a new configuration, as the first load does.
  reset();
  if (!loadTextConfig(*this, path, spec)) return false;
  std::u16string failure;
  if (finishLoad(failure)) return true;
  return reportLoadError(path, failure);
}

bool GUIConfigFile::read(const std::string& path, const versionSpec* spec,
                         std::u16string& failure) {
  reset();
  failure.clear();
  textSource source;
  if (!source.open(path)) {
    failure = u"Failed to open file.";
    return false;
  }
  auto take = [&](const std::string& key, const std::u16string& value) {
    return setOption(key, value, spec) || (spec != nullptr && setOption(key, value, nullptr));
  };
  std::u16string failedLine;
  if (!readPairs(source, take, failedLine)) {
    failure = u"Failed to load line: " + failedLine;
    return false;
  }
  return finishLoad(failure);
}

std::u16string GUIConfigFile::resolveTemplates() {
  templateLinks_.clear();
  for (const std::string& name : templateNames()) {
    templatePtr found = libraries_->findTemplate(name);
    if (found == nullptr) return u"Template not found: " + widenAscii(name);
    templateLinks_.push_back(std::move(found));
  }
  return {};
}

std::u16string GUIConfigFile::resolveConnections(monitor which) {
  std::u16string failure;
  for (configScreen& screen : mutableScreens(which)) {
    for (configConnection& c : screen.connections) {
      c.link = c.name.empty() ? nullptr : libraries_->findLibraryConnection(c.name);
      if (c.link == nullptr && !c.name.empty() && failure.empty())
        failure = u"Connection not found: " + widenAscii(c.name);
    }
  }
  return failure;
}

void GUIConfigFile::namesFromLinks() {
  std::vector<std::string>& names = mutableTemplateNames();
  names.clear();
  for (const auto& link : templateLinks_) names.push_back(link->name());
  for (monitor which : {monitor::first, monitor::second})
    for (configScreen& screen : mutableScreens(which))
      for (configConnection& c : screen.connections)
        c.name = c.link != nullptr ? c.link->name() : std::string();
}

std::u16string GUIConfigFile::setTemplateNames(const std::vector<std::string>& names) {
  mutableTemplateNames().clear();
  for (const std::string& name : names) addTemplateName(name);
  return resolveTemplates();
}

bool GUIConfigFile::removeTemplateName(std::string_view name) {
  std::vector<std::string>& names = mutableTemplateNames();
  std::size_t before = names.size();
  std::erase_if(names, [&](const std::string& each) { return equalsNoCase(each, name); });
  if (names.size() == before) return false;
  resolveTemplates();
  return true;
}

bool GUIConfigFile::detachConnections(std::string_view name) {
  bool found = false;
  for (monitor which : {monitor::first, monitor::second}) {
    for (configScreen& screen : mutableScreens(which)) {
      for (configConnection& c : screen.connections) {
        if (c.name.empty() || !equalsNoCase(c.name, name)) continue;
        c.name.clear();
        c.link = nullptr;
        found = true;
      }
    }
  }
  return found;
}

bool GUIConfigFile::namesTemplate(std::string_view name) const {
  return std::any_of(templateNames().begin(), templateNames().end(),
                     [&](const std::string& each) { return equalsNoCase(each, name); });
}

bool GUIConfigFile::namesConnection(std::string_view name) const {
  for (monitor which : {monitor::first, monitor::second})
    for (const configScreen& screen : screens(which))
      for (const configConnection& c : screen.connections)
        if (!c.name.empty() && equalsNoCase(c.name, name)) return true;
  return false;
}

effectiveOption GUIConfigFile::effectiveValue(std::string_view key, const versionSpec* spec) const {
  if (const std::u16string* own = generalOptions().find(key))
    return {*own, valueSource::ownGeneral, {}};
  for (auto link = templateLinks_.rbegin(); link != templateLinks_.rend(); ++link)
    if (const std::u16string* value = (*link)->find(key))
      return {*value, valueSource::terminalTemplate, (*link)->name()};
  if (const std::u16string* value = libraries_->allTerminals()->find(key))
    return {*value, valueSource::allTerminals, {}};
  if (spec == nullptr) return {};
  const zvOptionSpecRecord* record = findOptionRecord(spec, key);
  if (record == nullptr) {
    ZV_INTERNAL_ERROR();
    return {};
  }
  return {optionDefault(*record), valueSource::specDefault, {}};
}

effectiveOption GUIConfigFile::effectiveConnectionValue(std::string_view key, int screen,
                                                        int connection, monitor which,
                                                        const versionSpec* spec) const {
  if (screen == -1 || connection == -1) return effectiveValue(key, spec);
  const configConnection* c = this->connection(screen, connection, which);
  if (c == nullptr) return {{}, valueSource::none, {}};
  std::string linkName = c->link != nullptr ? c->link->name() : std::string();
  if (const std::u16string* own = c->options.find(key))
    return {*own, valueSource::ownConnection, linkName};
  if (c->link != nullptr)
    if (const std::u16string* value = c->link->find(key))
      return {*value, valueSource::libraryConnection, linkName};
  return effectiveValue(key, spec);
}

bool GUIConfigFile::flattenTemplates() {
  optionList merged(generalOptions().kind());
  merged.copyOptionsFrom(*libraries_->allTerminals());
  for (const std::string& name : templateNames()) {
    templatePtr found = libraries_->findTemplate(name);
    if (found == nullptr) {
      ZV_INTERNAL_ERROR();
      return false;
    }
    merged.copyOptionsFrom(*found);
  }
  mutableTemplateNames().clear();
  templateLinks_.clear();
  merged.copyOptionsFrom(generalOptions());
  generalOptions() = std::move(merged);
  for (monitor which : {monitor::first, monitor::second}) {
    for (configScreen& screen : mutableScreens(which)) {
      for (configConnection& c : screen.connections) {
        if (c.name.empty()) continue;
        connectionPtr library = libraries_->findLibraryConnection(c.name);
        if (library == nullptr) continue;
        optionList options(library->kind());
        options.copyOptionsFrom(*library);
        options.copyOptionsFrom(c.options);
        c.options = std::move(options);
      }
    }
  }
  return true;
}

bool GUIConfigFile::saveTerminalConfig(const std::string& path) {
  namesFromLinks();
  return saveConfig(path);
}

bool GUIConfigFile::isEmpty() const {
  return templateLinks_.empty() && configFile::isEmpty();
}

bool validateConfiguration(const GUIConfigFile& config, const versionSpec* spec,
                           configurationProblems& problems) {
  problems = {};
  if (spec == nullptr) return true;
  config.generalOptions().validateOptions(spec, problems.general);
  optionProblems scratch;
  for (const auto& link : config.templateLinks())
    if (!link->validateOptions(spec, scratch)) problems.templates.push_back(link);
  for (monitor which : {monitor::first, monitor::second}) {
    const std::vector<configScreen>& screens = config.screens(which);
    for (std::size_t s = 0; s < screens.size(); ++s) {
      for (std::size_t c = 0; c < screens[s].connections.size(); ++c) {
        const configConnection& each = screens[s].connections[c];
        connectionProblems found{int(s), int(c), which, false, {}};
        found.libraryConnectionFails =
            each.link != nullptr && !each.link->validateOptions(spec, scratch);
        each.options.validateOptions(spec, found.corrective);
        if (found.libraryConnectionFails || !found.corrective.empty())
          problems.connections.push_back(std::move(found));
      }
    }
  }
  return problems.empty();
}

}  // namespace zv
