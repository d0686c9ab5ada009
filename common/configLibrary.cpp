#include "common/configLibrary.h"

#include "common/errorCFHandler.h"
#include "common/installPaths.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>

namespace zv {
namespace {

template <class Char>
int compareUnits(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto x = static_cast<std::make_unsigned_t<Char>>(asciiUpper(a[i]));
    auto y = static_cast<std::make_unsigned_t<Char>>(asciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equalsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// Loads one entry: a file that does not load is set aside by the loader, or only
// reported when loading read-only.
template <class Entry>
bool loadEntry(Entry& entry, bool readOnly) {
  if (!readOnly) return entry.load();
  std::u16string failure;
  if (entry.read(failure)) return true;
  reportDamage(entry.filePath(), failure);
  return false;
}

// The entries of every loadable file of a library directory, in the directory's order. A
// name that is not plain ASCII is set aside as ".broken" and left out, and so is a file
// that does not load (the loader has set it aside already). Read-only, both are only
// logged.
template <class Entry>
std::vector<std::shared_ptr<Entry>> loadEntries(const std::string& directory, bool readOnly) {
  std::vector<std::shared_ptr<Entry>> loaded;
  for (const std::string& file : listConfigFiles(directory)) {
    if (endsWithNoCase(file, ".broken")) continue;
    std::string name = file.substr(0, file.size() - 4);
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) > 0x7E; })) {
      if (readOnly)
        reportDamage(directory + file, u"The name is not plain ASCII.");
      else
        markBroken(directory + file);
      continue;
    }
    auto entry = std::make_shared<Entry>(name, directory);
    entry->setFileName(file);  // ".ZVC", or a name longer than an entry name holds
    if (!loadEntry(*entry, readOnly)) continue;
    loaded.push_back(std::move(entry));
  }
  return loaded;
}

}  // namespace

// ---- entries -------------------------------------------------------------------------

template <std::uint32_t Kind>
CLSI<Kind>::CLSI(std::string_view name, std::string directory)
    : optionList(Kind),
      name_(name.substr(0, maxEntryName)),
      directory_(std::move(directory)),
      fileName_(name_ + ".zvc") {}

template <std::uint32_t Kind>
bool CLSI<Kind>::setOption(const std::string& key, const std::u16string& value,
                           const versionSpec* spec) {
  return set(key, value, spec);
}

template <std::uint32_t Kind>
bool CLSI<Kind>::load() {
  clear();
  return loadTextConfig(*this, filePath());
}

template <std::uint32_t Kind>
bool CLSI<Kind>::read(std::u16string& failure) {
  clear();
  failure.clear();
  textSource source;
  if (!source.open(filePath())) {
    failure = u"Failed to open file.";
    return false;
  }
  std::u16string failedLine;
  auto take = [this](const std::string& key, const std::u16string& value) {
    return setOption(key, value, nullptr);
  };
  if (readPairs(source, take, failedLine)) return true;
  failure = u"Failed to load line: " + failedLine;
  return false;
}

template <std::uint32_t Kind>
bool CLSI<Kind>::save() const {
  if (directory_.empty()) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  return saveConfigLines(filePath(), lines());
}

template class CLSI<ZV_SECTION_GENERAL>;
template class CLSI<ZV_SECTION_CONNECTION>;

std::u16string GUIConnectionsFile::displayName() const {
  if (const std::u16string* shown = find("displayName"); shown != nullptr && !shown->empty())
    return *shown;
  if (!name().empty()) return widenAscii(name());
  return u"Connection";
}

// ---- names ---------------------------------------------------------------------------

int compareNoCase(std::string_view a, std::string_view b) {
  return compareUnits(a, b);
}

int compareNoCase(std::u16string_view a, std::u16string_view b) {
  return compareUnits(a, b);
}

bool validEntryName(std::string_view name) {
  if (name.empty() || name.size() > maxEntryName || name.back() == '\\') return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return c > 0x20 && c <= 0x7E && c != '/' && c != '#'; });
}

std::vector<std::string> listConfigFiles(const std::string& directory) {
  std::vector<std::string> names;
  auto entries = listDirectory(directory);
  if (!entries) return names;
  // Links are not followed: a library file lives in the installation.
  for (directoryEntry& entry : *entries)
    if (entry.type == entryType::file && endsWithNoCase(entry.name, ".zvc"))
      names.push_back(std::move(entry.name));
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    int order = compareNoCase(a, b);
    return order != 0 ? order < 0 : a < b;
  });
  return names;
}

// ---- libraries -----------------------------------------------------------------------

configLibraries::configLibraries() : allTerminals_(std::make_shared<GUITemplatesFile>("all", "")) {}

templatePtr configLibraries::findTemplate(std::string_view name) const {
  if (equalsNoCase(name, "all")) return allTerminals_;
  for (const templatePtr& entry : templates_)
    if (equalsNoCase(entry->name(), name)) return entry;
  return nullptr;
}

connectionPtr configLibraries::findLibraryConnection(std::string_view name) const {
  for (const connectionPtr& entry : connections_)
    if (equalsNoCase(entry->name(), name)) return entry;
  return nullptr;
}

void configLibraries::insertTemplate(templatePtr entry) {
  auto place = std::find_if(templates_.begin(), templates_.end(), [&](const templatePtr& other) {
    return compareNoCase(other->name(), entry->name()) > 0;
  });
  templates_.insert(place, std::move(entry));
}

void configLibraries::insertConnection(connectionPtr entry) {
  const std::u16string shown = entry->displayName();
  auto place = std::find_if(
      connections_.begin(), connections_.end(),
      [&](const connectionPtr& other) { return compareNoCase(other->displayName(), shown) > 0; });
  connections_.insert(place, std::move(entry));
}

bool configLibraries::removeTemplate(const GUITemplatesFile* entry) {
  auto found = std::find_if(templates_.begin(), templates_.end(),
                            [&](const templatePtr& other) { return other.get() == entry; });
  if (found == templates_.end()) return false;
  templates_.erase(found);
  return true;
}

bool configLibraries::removeConnection(const GUIConnectionsFile* entry) {
  auto found = std::find_if(connections_.begin(), connections_.end(),
                            [&](const connectionPtr& other) { return other.get() == entry; });
  if (found == connections_.end()) return false;
  connections_.erase(found);
  return true;
}

void configLibraries::loadTemplates(const std::string& directory) {
  for (templatePtr& entry : loadEntries<GUITemplatesFile>(directory, readOnly))
    templates_.push_back(std::move(entry));
}

void configLibraries::loadConnections(const std::string& directory) {
  for (connectionPtr& entry : loadEntries<GUIConnectionsFile>(directory, readOnly))
    insertConnection(std::move(entry));
}

void configLibraries::loadAllTerminals(const std::string& everyoneDirectory) {
  // The same object stays in place: configurations may already link to it.
  *allTerminals_ = GUITemplatesFile("all", everyoneDirectory);
  if (!fileExists(allTerminals_->filePath())) return;
  if (!loadEntry(*allTerminals_, readOnly)) allTerminals_->clear();
}

void configLibraries::load(const installationPaths& paths) {
  loadTemplates(paths.templatesDir);
  loadConnections(paths.connectionsDir);
  loadAllTerminals(paths.everyoneDir);
}

}  // namespace zv
