#include "common/optionList.h"

#include "common/configSaver.h"
#include "common/specLookup.h"
#include "common/textConfigFile.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <algorithm>

namespace zv {
namespace {

constexpr std::string_view layoutKeys[] = {"template", "first", "next", "connection", "M2_next"};

bool isBlankOrEquals(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'=';
}

}  // namespace

void optionProblems::clear() {
  unknown.clear();
  wrongSection.clear();
  invalid.clear();
}

bool representableOption(std::string_view key, std::u16string_view value) {
  // An empty key is a line of its own ('=value'); a backslash at the end of the value is
  // closed off by the writer (textLine). What remains are the reader's own limits.
  if (key.size() > maxKeyLength) return false;
  for (char c : key)
    if (static_cast<unsigned char>(c) >= 0x80 || c == ' ' || c == '\t' || c == '=' || c == '#' ||
        c == '\r' || c == '\n')
      return false;
  if (key.size() + 1 + value.size() > maxLogicalLine) return false;
  for (char16_t c : value)
    if (c == u'\r' || c == u'\n' || c == u'#') return false;
  if (!value.empty()) {
    if (isBlankOrEquals(value.front())) return false;
    if (value.back() == u' ' || value.back() == u'\t') return false;
  }
  return true;
}

bool isLayoutKey(std::string_view key) {
  return std::any_of(std::begin(layoutKeys), std::end(layoutKeys),
                     [&](std::string_view word) { return equalsNoCase(key, word); });
}

bool optionList::set(std::string_view key, std::u16string_view value, const versionSpec* spec) {
  if (spec != nullptr) {
    const zvOptionSpecRecord* record = findOptionRecord(spec, key);
    if (record == nullptr) {
      ZV_INTERNAL_ERROR();
      return false;
    }
    if ((record->sectionMask & kind_) == 0) return false;
  }
  if (isLayoutKey(key) || key.size() == 1) return false;
  // A pair the syntax cannot hold would be lost or, with a line break in the value, turn
  // into lines of its own. Every pair the reader produces passes, so loading never
  // stops here; only values set by an editor can.
  if (!representableOption(key, value)) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  for (configOption& entry : entries_) {
    if (equalsNoCase(entry.key, key)) {
      entry.value.assign(value);
      return true;
    }
  }
  if (entries_.size() >= maxListOptions) {
    ZV_INTERNAL_ERROR();
    return true;
  }
  entries_.push_back({std::string(key), std::u16string(value)});
  return true;
}

const std::u16string* optionList::find(std::string_view key) const {
  for (const configOption& entry : entries_)
    if (equalsNoCase(entry.key, key)) return &entry.value;
  return nullptr;
}

std::u16string optionList::get(std::string_view key, const versionSpec* spec) const {
  if (const std::u16string* own = find(key)) return *own;
  if (const zvOptionSpecRecord* record = findOptionRecord(spec, key)) return optionDefault(*record);
  return {};
}

bool optionList::remove(std::string_view key) {
  auto found = std::find_if(entries_.begin(), entries_.end(), [&](const configOption& entry) {
    return equalsNoCase(entry.key, key);
  });
  if (found == entries_.end()) return false;
  entries_.erase(found);
  return true;
}

bool optionList::validateOptions(const versionSpec* spec, optionProblems& problems) const {
  problems.clear();
  if (spec == nullptr) return true;
  for (const configOption& entry : entries_) {
    const zvOptionSpecRecord* record = findOptionRecord(spec, entry.key);
    if (record == nullptr)
      problems.unknown.push_back(entry);
    else if ((record->sectionMask & kind_) == 0)
      problems.wrongSection.push_back(entry);
    else if (!optionAccepts(*record, entry.value))
      problems.invalid.push_back(entry);
  }
  return problems.empty();
}

void optionList::copyOptionsFrom(const optionList& other) {
  if ((other.kind_ & kind_) == 0) return;
  for (const configOption& entry : other.entries_) set(entry.key, entry.value);
}

void optionList::removeOptionsOf(const optionList& other) {
  if ((other.kind_ & kind_) == 0) return;
  for (const configOption& entry : other.entries_) remove(entry.key);
}

std::vector<std::u16string> optionList::lines() const {
  std::vector<std::u16string> out;
  out.reserve(entries_.size());
  for (const configOption& entry : entries_) out.push_back(optionLine(entry.key, entry.value));
  return out;
}

}  // namespace zv
