#pragma once
// versionSpec: the option specification of one installed version, as its library
// (Bin/<version>/spec.so, interface in specs/zvspec.h) describes it.
//
// A versionSpec is made once per version at start-up and lives for the whole run; the
// library is never unloaded. Tests make one directly over a zvSpec table of their own.
// User-interface thread only (the library's editors assume it).

#include "specs/zvspec.h"

#include <memory>
#include <string>
#include <string_view>

namespace zv {

struct versionSpec {
  std::string name;  // "6.2.63"
  const zvSpec* table = nullptr;
  const zvVideoOps* video = nullptr;                        // null: no video panel
  zvGenerateUpdateImagesFn generateUpdateImages = nullptr;  // null: no update images

  std::size_t count() const;
  const zvOptionSpecRecord* get(std::size_t index) const;
  // The record of a key (compared without ASCII case), or null.
  const zvOptionSpecRecord* find(std::string_view key) const;

  // The record's default value, manual (HTML) and whether its processor accepts a value.
  static std::u16string defaultValue(const zvOptionSpecRecord& record);
  static std::u16string manual(const zvOptionSpecRecord& record);
  static bool validate(const zvOptionSpecRecord& record, std::u16string_view value);
  // The editor's HTML for a value; empty when the processor fails.
  static std::u16string render(const zvOptionSpecRecord& record, std::u16string_view value,
                               bool readOnly);
};

// Loads Bin/<version>/spec.so from `directory` (ending with '/'). Null when the file is
// missing (silently), does not load ("Error while library %s load: %d." and an internal
// error) or has no `spec` export (internal error).
std::unique_ptr<versionSpec> loadVersionSpec(const std::string& directory);

// Borrowed UTF-16 text for the interface.
inline zvText asZvText(std::u16string_view text) {
  return zvText{reinterpret_cast<const uint16_t*>(text.data()), text.size()};
}
// A zero-terminated UTF-16 string from the library.
std::u16string fromZvString(const uint16_t* units);

}  // namespace zv
