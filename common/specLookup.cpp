#include "common/specLookup.h"

namespace zv {

const zvOptionSpecRecord* findOptionRecord(const versionSpec* spec, std::string_view key) {
  if (spec == nullptr || spec->table == nullptr || spec->table->find == nullptr) return nullptr;
  const std::string terminated(key);
  return spec->table->find(terminated.c_str());
}

std::u16string optionDefault(const zvOptionSpecRecord& record) {
  std::u16string value;
  if (record.defaultValue != nullptr)
    for (const uint16_t* unit = record.defaultValue; *unit != 0; ++unit)
      value.push_back(char16_t(*unit));
  return value;
}

bool optionAccepts(const zvOptionSpecRecord& record, std::u16string_view value) {
  if (record.processor == nullptr || record.processor->validate == nullptr) return true;
  return record.processor->validate(&record, asZvText(value)) != 0;
}

std::vector<const zvOptionSpecRecord*> optionRecords(const versionSpec* spec) {
  std::vector<const zvOptionSpecRecord*> records;
  if (spec == nullptr || spec->table == nullptr || spec->table->count == nullptr ||
      spec->table->get == nullptr)
    return records;
  const uint32_t count = spec->table->count();
  for (uint32_t i = 0; i < count; ++i)
    if (const zvOptionSpecRecord* record = spec->table->get(i)) records.push_back(record);
  return records;
}

}  // namespace zv
