#pragma once
// The options of version 6.2.63: the option table and the manuals, as data.

#include "specs/kit/optionTable.h"

#include <span>

namespace zv::spec::v6263 {

std::span<const optionDef> options();
std::span<const manualDef> manuals();
// The table the `spec` export serves, made on first use.
const optionTable& table();

}  // namespace zv::spec::v6263
