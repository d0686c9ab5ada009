#include "testsupport/optionSpecFixture.h"

#include <iterator>

namespace zv::test {
namespace {

int notBad(const zvOptionSpecRecord*, zvText value) {
  static const char bad[] = "bad";
  if (value.length < 3) return 1;
  for (int i = 0; i < 3; ++i)
    if (value.units[i] != uint16_t(bad[i])) return 1;
  return 0;
}

int digitsOnly(const zvOptionSpecRecord*, zvText value) {
  for (size_t i = 0; i < value.length; ++i)
    if (value.units[i] < '0' || value.units[i] > '9') return 0;
  return 1;
}

const zvOptionProcessor notBadProcessor{nullptr, nullptr, notBad, nullptr};
const zvOptionProcessor digitsProcessor{nullptr, nullptr, digitsOnly, nullptr};
const zvOptionProcessor anyProcessor{nullptr, nullptr, nullptr, nullptr};

const uint16_t noText[] = {0};
const uint16_t autoText[] = {'a', 'u', 't', 'o', 0};
const uint16_t thirty[] = {'3', '0', 0};
const uint16_t resolution[] = {'1', '0', '2', '4', 'x', '7', '6', '8', 0};
const uint16_t us[] = {'u', 's', 0};

const zvOptionSpecRecord records[] = {
    {"video", autoText, noText, &notBadProcessor, ZV_SECTION_GENERAL},
    {"timeout", thirty, noText, &digitsProcessor, ZV_SECTION_GENERAL},
    {"Resolution", resolution, noText, &notBadProcessor, ZV_SECTION_GENERAL},
    {"server", noText, noText, &notBadProcessor, ZV_SECTION_CONNECTION},
    {"autostart_delay", noText, noText, &digitsProcessor, ZV_SECTION_CONNECTION},
    {"displayName", noText, noText, &anyProcessor, ZV_SECTION_CONNECTION | ZV_SECTION_UNLISTED},
    {"keyboard", us, noText, &notBadProcessor, ZV_SECTION_GENERAL | ZV_SECTION_CONNECTION},
    {"internal", noText, noText, &anyProcessor, ZV_SECTION_UNLISTED},
};

bool sameNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a >= 'a' && *a <= 'z' ? char(*a - 32) : *a;
    char y = *b >= 'a' && *b <= 'z' ? char(*b - 32) : *b;
    if (x != y) return false;
    if (x == 0) return true;
  }
}

uint32_t count() {
  return uint32_t(std::size(records));
}
const zvOptionSpecRecord* get(uint32_t index) {
  return index < std::size(records) ? &records[index] : nullptr;
}
const zvOptionSpecRecord* find(const char* key) {
  for (const zvOptionSpecRecord& record : records)
    if (sameNoCase(record.name, key)) return &record;
  return nullptr;
}

const zvSpec table{"6.2.63", count, get, find};

}  // namespace

const versionSpec& optionSpec() {
  static const versionSpec spec{"6.2.63", &table, nullptr, nullptr};
  return spec;
}

}  // namespace zv::test
