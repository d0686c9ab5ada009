#include "specs/kit/output.h"

#include <algorithm>

namespace zv::spec {

bool writeOutput(zvOutput* out, std::u16string_view text) {
  if (!out) return false;
  if (out->written) *out->written = 0;
  if (!out->block || out->size < sizeof(uint16_t)) return false;
  size_t capacity = out->size / sizeof(uint16_t);
  size_t count = std::min(text.size(), capacity - 1);
  if (count < text.size() && count > 0 && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF)
    --count;
  for (size_t i = 0; i < count; ++i) out->block[i] = uint16_t(text[i]);
  out->block[count] = 0;
  if (out->written) *out->written = count;
  return count == text.size();
}

}  // namespace zv::spec
