#include "common/specLookup.h"

namespace zv {

const zvOptionSpecRecord* findOptionRecord(const versionSpec* spec, std::string_view key) {
  return spec ? spec->find(key) : nullptr;
}

std::u16string optionDefault(const zvOptionSpecRecord& record) {
  return versionSpec::defaultValue(record);
}

bool optionAccepts(const zvOptionSpecRecord& record, std::u16string_view value) {
  return versionSpec::validate(record, value);
}

std::vector<const zvOptionSpecRecord*> optionRecords(const versionSpec* spec) {
  std::vector<const zvOptionSpecRecord*> records;
  if (spec == nullptr) return records;
  const std::size_t count = spec->count();
  for (std::size_t i = 0; i < count; ++i)
    if (const zvOptionSpecRecord* record = spec->get(i)) records.push_back(record);
  return records;
}

}  // namespace zv
