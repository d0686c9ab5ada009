#pragma once
// The three questions the configuration model asks an option specification: does it know
// a key, what is an option's default, and does it accept a value.
//
// They go straight to the library's table (specs/zvspec.h). A null specification knows
// no key. Pure apart from the library's own code; user-interface thread, as every call
// into a specification library.

#include "common/versionSpec.h"

#include <string>
#include <string_view>
#include <vector>

namespace zv {

// The record of `key` (compared without ASCII case by the library), or null.
const zvOptionSpecRecord* findOptionRecord(const versionSpec* spec, std::string_view key);

// The record's default value; empty when the library gives none.
std::u16string optionDefault(const zvOptionSpecRecord& record);

// True when the record's processor accepts the value. A record without a validator
// accepts every value.
bool optionAccepts(const zvOptionSpecRecord& record, std::u16string_view value);

// Every record of the specification in its order; empty without one.
std::vector<const zvOptionSpecRecord*> optionRecords(const versionSpec* spec);

}  // namespace zv
