#pragma once
// optionTable: a version's options as the `spec` export hands them out.
//
// A library describes its options as data, one optionDef row per option, and its
// manuals as a second table keyed by option name; the table joins them into records
// once, on first use, and keeps them for the library's lifetime. Read-only afterwards.

#include "specs/kit/editors.h"
#include "specs/zvspec.h"

#include <cstdint>
#include <span>
#include <vector>

// Marks the symbols a library exports; everything else stays hidden.
#define ZV_SPEC_EXPORT __attribute__((visibility("default")))

namespace zv::spec {

struct optionDef {
  const char* key;
  const char16_t* defaultValue;
  const editorKind* editor;
  uint32_t sections;  // ZV_SECTION_* bits
};

struct manualDef {
  const char* key;
  const char16_t* html;
};

class optionTable {
 public:
  // An option without a manual gets an empty one.
  optionTable(std::span<const optionDef> options, std::span<const manualDef> manuals);
  optionTable(const optionTable&) = delete;
  optionTable& operator=(const optionTable&) = delete;

  uint32_t count() const { return uint32_t(records_.size()); }
  // Null past the end.
  const zvOptionSpecRecord* get(uint32_t index) const;
  // Compares keys without regard to ASCII letter case; null when unknown.
  const zvOptionSpecRecord* find(const char* key) const;

 private:
  std::vector<optionRecord> records_;
};

}  // namespace zv::spec
