#include "zvc/editor/configReport.h"

#include "common/specLookup.h"
#include "platform/textConv.h"

#include <algorithm>

namespace zv {
namespace {

// The keys a scope shows: the specification's keys of that section, or without one the
// keys of the given lists in order of first appearance.
std::vector<std::string> scopeKeys(const versionSpec* spec, std::uint32_t section,
                                   const std::vector<const optionList*>& lists) {
  std::vector<std::string> keys;
  if (spec != nullptr) {
    for (const zvOptionSpecRecord* record : optionRecords(spec))
      if ((record->sectionMask & section) != 0 && record->name != nullptr)
        keys.emplace_back(record->name);
    return keys;
  }
  for (const optionList* list : lists) {
    if (list == nullptr) continue;
    for (const configOption& option : *list)
      if (std::none_of(keys.begin(), keys.end(),
                       [&](const std::string& key) { return equalsNoCase(key, option.key); }))
        keys.push_back(option.key);
  }
  return keys;
}

}  // namespace

std::u16string connectionDisplayName(const configConnection& connection) {
  if (const std::u16string* own = connection.options.find("displayName"); own && !own->empty())
    return *own;
  if (connection.link != nullptr) return connection.link->displayName();
  if (!connection.name.empty()) return widenAscii(connection.name);
  return u"Connection";
}

configReport describeConfiguration(const GUIConfigFile& config, const versionSpec* spec) {
  configReport report;
  report.general = config.generalOptions().entries();
  report.templates = config.templateNames();

  std::vector<const optionList*> generalSources{config.libraries().allTerminals().get()};
  for (const auto& link : config.templateLinks()) generalSources.push_back(link.get());
  generalSources.push_back(&config.generalOptions());
  for (const std::string& key : scopeKeys(spec, ZV_SECTION_GENERAL, generalSources))
    report.effective.push_back({key, config.effectiveValue(key, spec)});

  for (monitor which : {monitor::first, monitor::second}) {
    const std::vector<configScreen>& screens = config.screens(which);
    for (std::size_t s = 0; s < screens.size(); ++s) {
      screenReport screen{which, int(s), screens[s].hidden, {}};
      for (std::size_t c = 0; c < screens[s].connections.size(); ++c) {
        const configConnection& each = screens[s].connections[c];
        connectionReport out{each.name,
                             each.link != nullptr,
                             connectionDisplayName(each),
                             each.options.entries(),
                             {}};
        std::vector<const optionList*> sources = generalSources;
        sources.push_back(each.link.get());
        sources.push_back(&each.options);
        for (const std::string& key : scopeKeys(spec, ZV_SECTION_CONNECTION, sources))
          out.effective.push_back(
              {key, config.effectiveConnectionValue(key, int(s), int(c), which, spec)});
        screen.connections.push_back(std::move(out));
      }
      report.screens.push_back(std::move(screen));
    }
  }
  return report;
}

std::string sourceText(const effectiveOption& effective) {
  switch (effective.source) {
    case valueSource::specDefault:
      return "Значение по умолчанию";
    case valueSource::allTerminals:
      return "Общая политика";
    case valueSource::terminalTemplate:
      return "Шаблон " + effective.from;
    case valueSource::libraryConnection:
      return "Соединение " + effective.from;
    case valueSource::ownConnection:
      return "Корректирующий параметр соединения " + effective.from;
    case valueSource::ownGeneral:
      return "Конфигурация терминала";
    case valueSource::none:
      break;
  }
  return {};
}

}  // namespace zv
