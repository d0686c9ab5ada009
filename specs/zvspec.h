/*
 * The binary interface between the console and a version's option specification
 * library, Bin/<version>/spec.so.
 *
 * A library exports three symbols, looked up with dlsym after dlopen:
 *
 *   spec                  (required) const zvSpec       - the option table
 *   video                 (optional) const zvVideoOps   - the video settings panel
 *   generateUpdateImages  (optional) zvGenerateUpdateImagesFn - writes update images
 *
 * Everything is plain C with the platform's C calling convention and 64-bit layout.
 * Texts crossing the interface are UTF-16 code units (uint16_t) with an explicit
 * length (zvText) or zero-terminated (record fields, output buffers); option keys and
 * the version name are 8-bit ASCII, zero-terminated. The library owns every record and
 * string it hands out; they live until the library is unloaded (the console never
 * unloads one). The console owns every buffer it passes in.
 *
 * Editors and the video panel reach the console's document only through zvHost: the
 * console passes its function table with every call that needs the document, and a
 * zvElement is an opaque handle valid for the duration of that call.
 *
 * Calls come from the console's user-interface thread only.
 */
#ifndef ZELVAR_SPEC_ABI_H
#define ZELVAR_SPEC_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZV_SPEC_ABI_VERSION 1

/* Section mask bits of an option. */
#define ZV_SECTION_GENERAL 0x01u    /* may stand in the general part of a configuration */
#define ZV_SECTION_CONNECTION 0x02u /* may stand in a connection */
#define ZV_SECTION_UNLISTED 0x10u   /* not offered in the options editor's list */

/* Sizes of the buffers the console passes (in bytes). */
#define ZV_RENDER_BUFFER_BYTES 81920u
#define ZV_VALUE_BUFFER_BYTES 4096u

/* A borrowed UTF-16 text: `length` code units at `units` (not necessarily terminated). */
typedef struct zvText {
  const uint16_t* units;
  size_t length;
} zvText;

struct zvOptionSpecRecord;

/* An output buffer: the library writes zero-terminated UTF-16 text into `block`
 * (`size` bytes, zero-filled by the console) and stores the number of code units
 * written, without the terminator, in *written. A text that does not fit is cut so
 * that the terminator still fits. `record` is the option the output belongs to, or
 * NULL for the video panel. */
typedef struct zvOutput {
  uint16_t* block;
  size_t size;
  const struct zvOptionSpecRecord* record;
  size_t* written;
} zvOutput;

/* ---- the console's document, as seen from the library ---------------------------- */

typedef struct zvElementOpaque* zvElement;

/* Element state bits (getState/setState). */
#define ZV_STATE_CURRENT 0x01u
#define ZV_STATE_CHECKED 0x02u
#define ZV_STATE_DISABLED 0x04u
#define ZV_STATE_EXPANDED 0x08u
#define ZV_STATE_COLLAPSED 0x10u

typedef struct zvHost {
  uint32_t abiVersion; /* ZV_SPEC_ABI_VERSION */
  void* context;       /* passed back as the first argument of every function */
  /* The first element matching a selector below `root` (NULL: the whole document). */
  zvElement (*selectFirst)(void* context, zvElement root, const char* selector);
  /* Up to `capacity` matches in document order; returns how many matched in all. */
  size_t (*selectAll)(void* context, zvElement root, const char* selector, zvElement* found,
                      size_t capacity);
  /* Copies an attribute's value (zero-terminated, cut to `capacity` units including the
   * terminator); returns its full length, or -1 when the attribute is absent. */
  long (*getAttribute)(void* context, zvElement element, const char* name, uint16_t* buffer,
                       size_t capacity);
  /* Sets an attribute; `value` NULL removes it. Returns nonzero on success. */
  int (*setAttribute)(void* context, zvElement element, const char* name, const zvText* value);
  /* The value of a control (input, select, checkbox: "on"/"" ) as text, as getAttribute. */
  long (*getValue)(void* context, zvElement element, uint16_t* buffer, size_t capacity);
  int (*setValue)(void* context, zvElement element, zvText value);
  /* The element's text content, as getAttribute. */
  long (*getText)(void* context, zvElement element, uint16_t* buffer, size_t capacity);
  /* Replaces the element's content with HTML in the engine's dialect. */
  int (*setInnerHtml)(void* context, zvElement element, zvText html);
  uint32_t (*getState)(void* context, zvElement element);
  int (*setState)(void* context, zvElement element, uint32_t set, uint32_t clear);
  /* Asks the options editor to compose the display option `key` from the current
   * resolution, refresh, noddc, connector and modeline values. */
  int (*copyDisplayParameters)(void* context, const char* key);
} zvHost;

/* Event kinds passed to the event operations. */
#define ZV_EVENT_CLICK 1u
#define ZV_EVENT_VALUE_CHANGED 2u
#define ZV_EVENT_SELECTION_CHANGED 3u

typedef struct zvEvent {
  uint32_t kind;
  zvElement target; /* the element the event happened on */
} zvEvent;

/* ---- options ------------------------------------------------------------------------ */

/* The editor of one option. The four operations in this order:
 *   render    writes the editor's HTML for `value` (read-only when readOnly) into `out`
 *             (ZV_RENDER_BUFFER_BYTES); nonzero on success.
 *   read      writes the value the editor below `editor` now holds into `out`
 *             (ZV_VALUE_BUFFER_BYTES); nonzero on success.
 *   validate  nonzero when `value` is a valid value of the option.
 *   event     handles an event of an editor element; nonzero when handled. */
typedef struct zvOptionProcessor {
  int (*render)(const struct zvOptionSpecRecord* record, zvOutput* out, zvText value, int readOnly);
  int (*read)(const struct zvOptionSpecRecord* record, zvOutput* out, const zvHost* host,
              zvElement editor);
  int (*validate)(const struct zvOptionSpecRecord* record, zvText value);
  int (*event)(const struct zvOptionSpecRecord* record, const zvHost* host, const zvEvent* event);
} zvOptionProcessor;

typedef struct zvOptionSpecRecord {
  const char* name;             /* the option key, ASCII */
  const uint16_t* defaultValue; /* zero-terminated UTF-16 */
  const uint16_t* manual;       /* zero-terminated UTF-16 HTML: the option's help */
  const zvOptionProcessor* processor;
  uint32_t sectionMask; /* ZV_SECTION_* bits */
} zvOptionSpecRecord;

/* The exported `spec`. */
typedef struct zvSpec {
  const char* version; /* "6.2.63" */
  uint32_t (*count)(void);
  const zvOptionSpecRecord* (*get)(uint32_t index);   /* NULL past the end */
  const zvOptionSpecRecord* (*find)(const char* key); /* ASCII case-blind; NULL if unknown */
} zvSpec;

/* ---- the video settings panel (the exported `video`) -------------------------------- */

typedef struct zvVideoOps {
  /* Writes the panel's HTML for the values in effect of bpp, video, display, M2_display
   * and M2_position, an empty reserved text and the workplace type (0, 1 or 2) into
   * `out` (ZV_RENDER_BUFFER_BYTES). Nonzero on success. */
  int (*fill)(zvOutput* out, zvText bpp, zvText video, zvText display, zvText m2display,
              zvText m2position, zvText reserved, int workplaceType);
  /* Reads the panel below `params` (div#div_video_params) into six outputs of
   * ZV_VALUE_BUFFER_BYTES: bpp, video, display, M2_display, M2_position and one
   * reserved; stores the chosen workplace type. Nonzero on success. */
  int (*collect)(zvOutput outputs[6], int* workplaceType, const zvHost* host, zvElement params);
  /* Handles an event of a panel element carrying "handleEvent" or "videoEvent";
   * nonzero when handled. */
  int (*event)(const zvHost* host, const zvEvent* event);
  /* Shows the video modes a terminal reported (its answer as 8-bit text) in the panel. */
  int (*showModes)(const zvHost* host, zvElement panel, const char* modes);
} zvVideoOps;

/* The exported `generateUpdateImages`: makes the update images of this version from
 * the source directory into the target directory (both zero-terminated UTF-16 paths).
 * Blocks until done; nonzero on success. */
typedef int (*zvGenerateUpdateImagesFn)(const uint16_t* source, const uint16_t* target);

#ifdef __cplusplus
}
#endif

#endif
