#include "specs/kit/optionTable.h"

#include "specs/kit/text.h"

namespace zv::spec {
namespace {

const uint16_t* units(const char16_t* text) {
  // The interface's UTF-16 is uint16_t; the representation is the same.
  return reinterpret_cast<const uint16_t*>(text);
}

}  // namespace

optionTable::optionTable(std::span<const optionDef> options, std::span<const manualDef> manuals) {
  records_.reserve(options.size());
  for (const optionDef& option : options) {
    const char16_t* manual = u"";
    for (const manualDef& entry : manuals)
      if (equalsNoCase(entry.key, option.key)) manual = entry.html;
    records_.push_back(
        optionRecord{zvOptionSpecRecord{option.key, units(option.defaultValue), units(manual),
                                        &editorProcessor, option.sections},
                     option.editor});
  }
}

const zvOptionSpecRecord* optionTable::get(uint32_t index) const {
  return index < records_.size() ? &records_[index].abi : nullptr;
}

const zvOptionSpecRecord* optionTable::find(const char* key) const {
  if (!key) return nullptr;
  for (const optionRecord& record : records_)
    if (equalsNoCase(record.abi.name, key)) return &record.abi;
  return nullptr;
}

}  // namespace zv::spec
