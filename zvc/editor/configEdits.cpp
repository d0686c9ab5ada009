#include "zvc/editor/configEdits.h"

#include "common/specLookup.h"
#include "platform/textConv.h"

#include <algorithm>

namespace zv {
namespace {

bool freeKeyCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A key the free rows take: the input's filter and length, and the rename rule.
bool freeKeyAllowed(std::string_view key) {
  return key.size() > 1 && key.size() <= maxFreeKey &&
         std::all_of(key.begin(), key.end(), freeKeyCharacter) && !isLayoutKey(key);
}

// Sets or removes one option; false with the message on a refusal.
bool applyOne(GUIConfigFile& config, const versionSpec* spec, const optionEdit& edit,
              editChange& change, std::string& error) {
  optionList& general = config.generalOptions();
  change.key = edit.key;
  if (!edit.value) {
    change.outcome = general.remove(edit.key) ? editOutcome::removed : editOutcome::unchanged;
    return true;
  }
  const std::u16string& value = *edit.value;
  if (!spec) {
    const std::u16string* own = general.find(edit.key);
    if (own && *own == value) return true;
    if (!freeKeyAllowed(edit.key) || value.size() > maxFreeValue || !general.set(edit.key, value)) {
      error = invalidRowsMessage;
      return false;
    }
    change.outcome = editOutcome::set;
    change.value = value;
    return true;
  }
  const zvOptionSpecRecord* record = findOptionRecord(spec, edit.key);
  if (!record) {
    error = "Параметры, которых нет в версии Zelvar " + spec->name + ": " + edit.key;
    return false;
  }
  if (!(record->sectionMask & ZV_SECTION_GENERAL) || (record->sectionMask & ZV_SECTION_UNLISTED)) {
    error = "Параметры нeсоответствующего типа: " + edit.key;
    return false;
  }
  optionList own = general;
  switch (commitOptionValue(own, &config, optionScope{}, spec, *record, value)) {
    case commitOutcome::invalid:
      error = invalidValueMessage;
      return false;
    case commitOutcome::unchanged:
      return true;
    case commitOutcome::removed:
      change.key = record->name;
      change.outcome = editOutcome::removed;
      return true;
    case commitOutcome::set:
      change.key = record->name;
      change.outcome = editOutcome::set;
      change.value = value;
      return true;
  }
  return true;
}

}  // namespace

effectiveOption effectiveAt(const GUIConfigFile& config, const optionScope& scope,
                            std::string_view key, const versionSpec* spec) {
  if (scope.general()) return config.effectiveValue(key, spec);
  return config.effectiveConnectionValue(key, scope.screen, scope.connection, scope.which, spec);
}

commitOutcome commitOptionValue(optionList& list, GUIConfigFile* config, const optionScope& scope,
                                const versionSpec* spec, const zvOptionSpecRecord& record,
                                std::u16string_view value) {
  std::string key = record.name;
  std::u16string defaultValue = optionDefault(record);
  std::u16string inEffect;
  if (config) {
    inEffect = effectiveAt(*config, scope, key, spec).value;
  } else {
    const std::u16string* own = list.find(key);
    inEffect = own ? *own : defaultValue;
  }
  if (equalsNoCase(inEffect, value)) return commitOutcome::unchanged;
  if (!representableOption(key, value) || !optionAccepts(record, value))
    return commitOutcome::invalid;
  optionList before = list;
  auto follow = [&] {
    if (config) config->setScopeOptions(list, scope.screen, scope.connection, scope.which);
  };
  if (equalsNoCase(defaultValue, value)) {
    list.remove(key);
    follow();
    // A template or connection that sets another value would come through: the
    // default then has to stand in the list itself.
    if (!config || effectiveAt(*config, scope, key, spec).source == valueSource::specDefault)
      return commitOutcome::removed;
  }
  if (!list.set(key, value, spec)) {
    list = before;
    follow();
    return commitOutcome::invalid;
  }
  follow();
  return commitOutcome::set;
}

bool editResult::changed() const {
  return std::any_of(changes.begin(), changes.end(),
                     [](const editChange& c) { return c.outcome != editOutcome::unchanged; });
}

editResult applyOptionEdits(GUIConfigFile& config, const versionSpec* spec,
                            const std::vector<optionEdit>& edits) {
  editResult result;
  optionList before = config.generalOptions();
  for (const optionEdit& edit : edits) {
    editChange change;
    if (!applyOne(config, spec, edit, change, result.error)) {
      config.setScopeOptions(before, -1, -1, monitor::first);
      result.ok = false;
      result.key = edit.key;
      result.changes.clear();
      return result;
    }
    result.changes.push_back(std::move(change));
  }
  return result;
}

std::string addTemplate(GUIConfigFile& config, std::string_view name, bool& added) {
  added = false;
  templatePtr entry = config.libraries().findTemplate(name);
  if (!entry) return "Template not found: " + std::string(name);
  if (config.namesTemplate(entry->name())) return {};
  std::vector<std::string> names = config.templateNames();
  if (names.size() >= maxTemplateNames)
    return "A configuration names at most " + std::to_string(maxTemplateNames) + " templates.";
  names.push_back(entry->name());
  std::u16string failure = config.setTemplateNames(names);
  if (!failure.empty()) {
    names.pop_back();
    config.setTemplateNames(names);
    return toUtf8(failure);
  }
  added = true;
  return {};
}

std::string removeTemplate(GUIConfigFile& config, std::string_view name) {
  if (!config.removeTemplateName(name))
    return "The configuration does not name the template " + std::string(name) + ".";
  return {};
}

std::string copyConfiguration(const GUIConfigFile& source, GUIConfigFile& target) {
  if (source.isEmpty()) return emptySourceMessage;
  target = source;
  target.normalizeScreens();
  return {};
}

bool fileSnapshot::take(const std::string& path) {
  path_ = path;
  read_ = readFileLimited(path, textFileLimit);
  return read_.status == readStatus::ok || read_.status == readStatus::missing;
}

bool fileSnapshot::unchanged() const {
  fileContents now = readFileLimited(path_, textFileLimit);
  return now.status == read_.status && now.bytes == read_.bytes;
}

}  // namespace zv
