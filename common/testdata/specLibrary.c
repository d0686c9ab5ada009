/* Small option specification libraries for the loader's tests. One source, built several
 * times; the SPEC_* definition chosen by CMake decides what the library exports. */
#include "specs/zvspec.h"

#include <string.h>
#include <strings.h>

static const uint16_t modeDefault[] = {'a', 'u', 't', 'o', 0};
static const uint16_t modeManual[] = {'<', 'p', '>', 'M', 'o', 'd', 'e', '<', '/', 'p', '>', 0};

/* Renders "<input value=..." followed by the value; read-only adds " ro". */
static int renderMode(const zvOptionSpecRecord* record, zvOutput* out, zvText value,
                      int readOnly) {
  static const char head[] = "<input>";
  size_t capacity = out->size / sizeof(uint16_t);
  size_t n = 0;
  (void)record;
  for (const char* c = head; *c && n + 1 < capacity; ++c) out->block[n++] = (uint16_t)*c;
  for (size_t i = 0; i < value.length && n + 1 < capacity; ++i) out->block[n++] = value.units[i];
  if (readOnly && n + 3 < capacity) {
    out->block[n++] = ' ';
    out->block[n++] = 'r';
    out->block[n++] = 'o';
  }
  out->block[n] = 0;
  *out->written = n;
  return 1;
}

/* Fails without writing anything. */
static int renderFails(const zvOptionSpecRecord* record, zvOutput* out, zvText value,
                       int readOnly) {
  (void)record, (void)out, (void)value, (void)readOnly;
  return 0;
}

/* Claims far more than the block holds: the console must stop at the block's end. */
static int renderOverclaims(const zvOptionSpecRecord* record, zvOutput* out, zvText value,
                            int readOnly) {
  size_t capacity = out->size / sizeof(uint16_t);
  (void)record, (void)value, (void)readOnly;
  for (size_t i = 0; i + 1 < capacity; ++i) out->block[i] = 'x';
  *out->written = capacity * 4;
  return 1;
}

/* Valid values: "auto", "on", "off". */
static int validateMode(const zvOptionSpecRecord* record, zvText value) {
  static const char* const accepted[] = {"auto", "on", "off"};
  (void)record;
  for (size_t a = 0; a < sizeof accepted / sizeof accepted[0]; ++a) {
    size_t length = strlen(accepted[a]);
    if (length != value.length) continue;
    size_t i = 0;
    while (i < length && value.units[i] == (uint16_t)accepted[a][i]) ++i;
    if (i == length) return 1;
  }
  return 0;
}

static const zvOptionProcessor modeProcessor = {renderMode, 0, validateMode, 0};
static const zvOptionProcessor failingProcessor = {renderFails, 0, 0, 0};
static const zvOptionProcessor overclaimingProcessor = {renderOverclaims, 0, 0, 0};

static const zvOptionSpecRecord records[] = {
    {"mode", modeDefault, modeManual, &modeProcessor, ZV_SECTION_GENERAL},
    {"broken", 0, 0, &failingProcessor, ZV_SECTION_CONNECTION},
    {"greedy", 0, 0, &overclaimingProcessor, ZV_SECTION_GENERAL | ZV_SECTION_UNLISTED},
    {"bare", 0, 0, 0, ZV_SECTION_GENERAL},
};

/* Not every variant uses all three. */
__attribute__((unused)) static uint32_t recordCount(void) {
  return sizeof records / sizeof records[0];
}

__attribute__((unused)) static const zvOptionSpecRecord* recordAt(uint32_t index) {
  return index < recordCount() ? &records[index] : 0;
}

__attribute__((unused)) static const zvOptionSpecRecord* recordNamed(const char* key) {
  for (uint32_t i = 0; i < recordCount(); ++i)
    if (strcasecmp(records[i].name, key) == 0) return &records[i];
  return 0;
}

#if defined(SPEC_FULL) || defined(SPEC_BARE)
const zvSpec spec = {SPEC_VERSION, recordCount, recordAt, recordNamed};
#endif

#if defined(SPEC_MALFORMED)
/* No find operation. */
const zvSpec spec = {SPEC_VERSION, recordCount, recordAt, 0};
#endif

#if defined(SPEC_NONE)
/* The table under a name that is not quite "spec". */
const zvSpec Spec = {"6.2.9", recordCount, recordAt, recordNamed};
#endif

#if defined(SPEC_FULL) || defined(SPEC_NONE)
static int videoFill(zvOutput* out, zvText bpp, zvText video, zvText display, zvText m2display,
                     zvText m2position, zvText reserved, int workplaceType) {
  (void)out, (void)bpp, (void)video, (void)display, (void)m2display, (void)m2position;
  (void)reserved, (void)workplaceType;
  return 1;
}
static int videoCollect(zvOutput outputs[6], int* workplaceType, const zvHost* host,
                        zvElement params) {
  (void)outputs, (void)workplaceType, (void)host, (void)params;
  return 1;
}
static int videoEvent(const zvHost* host, const zvEvent* event) {
  (void)host, (void)event;
  return 0;
}
static int videoShowModes(const zvHost* host, zvElement panel, const char* modes) {
  (void)host, (void)panel, (void)modes;
  return 1;
}
const zvVideoOps video = {videoFill, videoCollect, videoEvent, videoShowModes};

int generateUpdateImages(const uint16_t* source, const uint16_t* target) {
  return source && target;
}
#endif

#if defined(SPEC_HALF_VIDEO)
const zvSpec spec = {SPEC_VERSION, recordCount, recordAt, recordNamed};
/* A panel without operations cannot be used. */
const zvVideoOps video = {0, 0, 0, 0};
#endif
