// The `spec` export of version 6.2.63.

#include "specs/6.2.63/options.h"

namespace zv::spec::v6263 {
namespace {

// The table is made on first use; a failure to make it (no memory) reads as no options.
uint32_t count() {
  try {
    return table().count();
  } catch (...) {
    return 0;
  }
}
const zvOptionSpecRecord* get(uint32_t index) {
  try {
    return table().get(index);
  } catch (...) {
    return nullptr;
  }
}
const zvOptionSpecRecord* find(const char* key) {
  try {
    return table().find(key);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace
}  // namespace zv::spec::v6263

extern "C" ZV_SPEC_EXPORT const zvSpec spec = {"6.2.63", zv::spec::v6263::count,
                                               zv::spec::v6263::get, zv::spec::v6263::find};
