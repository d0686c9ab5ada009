#include "specs/kit/editors.h"

#include "specs/kit/output.h"
#include "specs/kit/text.h"

#include <type_traits>
#include <utility>

namespace zv::spec {
namespace {

constexpr std::u16string_view controlId = u"editValue";
constexpr std::u16string_view copyButtonId = u"copyDisplay";

std::u16string attribute(std::u16string_view name, std::u16string_view value) {
  return u" " + std::u16string(name) + u"=\"" + escapeHtml(value) + u"\"";
}

}  // namespace

// ---- editorKind ----------------------------------------------------------------------

std::optional<std::u16string> editorKind::read(const document& page, zvElement editor) const {
  zvElement control = page.find(editor, "#editValue");
  if (!control) return std::nullopt;
  return page.value(control);
}

bool editorKind::event(const char*, const document&, const zvEvent&) const {
  return false;
}

bool editorKind::accepts(std::u16string_view value) const {
  return isStorable(value) && check(value);
}

// ---- choiceEditor --------------------------------------------------------------------

choiceEditor::choiceEditor(std::vector<choiceItem> items, valueCheck other, int rows)
    : items_(std::move(items)), other_(other), rows_(rows) {}

std::u16string choiceEditor::render(std::u16string_view value, bool readOnly) const {
  std::u16string html = u"<select id=\"editValue\" class=\"option_choice\" handleEvent";
  if (rows_ > 0) html += attribute(u"size", decimal(rows_));
  if (readOnly) html += u" disabled";
  html += u">";
  bool listed = false;
  for (const choiceItem& item : items_) listed = listed || equalsNoCase(item.value, value);
  if (!listed) {
    // A value from the configuration that the list does not hold stays visible and
    // selected, so that reading the editor back does not change it behind the user.
    std::u16string caption(value);
    if (!accepts(value)) caption += u" (неверное значение)";
    html += u"<option" + attribute(u"value", value) + u" class=\"unlisted\" selected>" +
            escapeHtml(caption) + u"</option>";
  }
  for (const choiceItem& item : items_) {
    html += u"<option" + attribute(u"value", item.value);
    if (listed && equalsNoCase(item.value, value)) html += u" selected";
    html += u">" + escapeHtml(item.caption) + u"</option>";
  }
  html += u"</select>";
  return html;
}

bool choiceEditor::check(std::u16string_view value) const {
  for (const choiceItem& item : items_)
    if (equalsNoCase(item.value, value)) return true;
  return other_ && other_(value);
}

// ---- switchEditor --------------------------------------------------------------------

switchEditor::switchEditor(std::u16string caption) : caption_(std::move(caption)) {}

std::u16string switchEditor::render(std::u16string_view value, bool readOnly) const {
  std::u16string html =
      u"<input type=\"checkbox\" id=\"editValue\" class=\"option_switch\" handleEvent";
  if (equalsNoCase(value, u"on")) html += u" checked";
  if (readOnly) html += u" disabled";
  html += u"><label for=\"editValue\">" + escapeHtml(caption_) + u"</label>";
  return html;
}

std::optional<std::u16string> switchEditor::read(const document& page, zvElement editor) const {
  zvElement control = page.find(editor, "#editValue");
  if (!control) return std::nullopt;
  std::optional<std::u16string> value = page.value(control);
  bool checked =
      value ? equalsNoCase(*value, u"on") : (page.state(control) & ZV_STATE_CHECKED) != 0;
  return std::u16string(checked ? u"on" : u"off");
}

bool switchEditor::check(std::u16string_view value) const {
  return equalsNoCase(value, u"on") || equalsNoCase(value, u"off");
}

// ---- fieldEditor ---------------------------------------------------------------------

fieldEditor::fieldEditor(look shape) : look_(std::move(shape)) {}

std::u16string fieldEditor::render(std::u16string_view value, bool readOnly) const {
  std::u16string html = u"<input type=\"text\" id=\"editValue\" class=\"option_field";
  if (!accepts(value)) html += u" errorValue";
  html += u"\" handleEvent";
  html += attribute(u"maxlength", decimal(long(look_.maxLength)));
  if (look_.filter) html += attribute(u"filter", look_.filter);
  html += attribute(u"value", value);
  if (readOnly) html += u" readonly";
  html += u">";
  html += extras(readOnly);
  if (!look_.hint.empty()) html += u"<p class=\"option_hint\">" + escapeHtml(look_.hint) + u"</p>";
  return html;
}

std::u16string fieldEditor::extras(bool) const {
  return {};
}

bool fieldEditor::event(const char*, const document& page, const zvEvent& event) const {
  if (event.kind != ZV_EVENT_VALUE_CHANGED || page.id(event.target) != controlId) return false;
  std::optional<std::u16string> value = page.value(event.target);
  if (!value) return false;
  page.setAttribute(event.target, "class",
                    accepts(*value) ? u"option_field" : u"option_field errorValue");
  return true;
}

// ---- rangeEditor ---------------------------------------------------------------------

rangeEditor::rangeEditor(long min, long max, std::u16string unit)
    : fieldEditor({std::max(decimal(min).size(), decimal(max).size()), min < 0 ? u"-0~9" : u"0~9",
                   u"Целое число от " + decimal(min) + u" до " + decimal(max) +
                       (unit.empty() ? u"" : u" (" + unit + u")") + u"."}),
      min_(min),
      max_(max) {}

bool rangeEditor::check(std::u16string_view value) const {
  std::optional<long> number = min_ < 0 ? parseSigned(value) : parseUnsigned(value);
  return number && *number >= min_ && *number <= max_;
}

// ---- addressEditor -------------------------------------------------------------------

addressEditor::addressEditor(bool allowEmpty)
    : fieldEditor({15, u"0~9.",
                   allowEmpty ? u"IPv4-адрес, например 192.168.1.10, или пусто."
                              : u"IPv4-адрес, например 192.168.1.10."}),
      allowEmpty_(allowEmpty) {}

bool addressEditor::check(std::u16string_view value) const {
  return (allowEmpty_ && value.empty()) || isIpv4(value);
}

// ---- hostEditor ----------------------------------------------------------------------

hostEditor::hostEditor(bool singleLabel, bool allowEmpty, std::u16string hint)
    : fieldEditor({singleLabel ? size_t(63) : size_t(253),
                   singleLabel ? u"a~zA~Z0~9-" : u"a~zA~Z0~9.-",
                   !hint.empty() ? std::move(hint)
                   : singleLabel ? u"Латинские буквы, цифры и дефис, до 63 символов."
                                 : u"Имя узла (например, srv01.example.local) или IPv4-адрес."}),
      singleLabel_(singleLabel),
      allowEmpty_(allowEmpty) {}

bool hostEditor::check(std::u16string_view value) const {
  if (value.empty()) return allowEmpty_;
  return singleLabel_ ? isHostLabel(value) : isHostName(value);
}

// ---- textEditor ----------------------------------------------------------------------

textEditor::textEditor(size_t maxLength, valueCheck form, std::u16string hint)
    : fieldEditor({maxLength, nullptr, std::move(hint)}), form_(form) {}

bool textEditor::check(std::u16string_view value) const {
  return value.size() <= maxLength() && (!form_ || form_(value));
}

// ---- displayEditor -------------------------------------------------------------------

namespace {
bool isDisplayValue(std::u16string_view value) {
  return parseDisplayLine(value).has_value();
}
}  // namespace

displayEditor::displayEditor()
    : textEditor(1024, isDisplayValue,
                 u"Пример: 1920x1080,60 Hz,noddc,HDMI-1. Пустое значение — "
                 u"параметры определяются автоматически.") {}

std::u16string displayEditor::extras(bool readOnly) const {
  std::u16string html =
      u" <button id=\"copyDisplay\" class=\"command\" handleEvent title=\"Собрать значение из "
      u"параметров resolution, refresh, noddc, connector и modeline\"";
  if (readOnly) html += u" disabled";
  html += u">Собрать из параметров</button>";
  return html;
}

bool displayEditor::event(const char* key, const document& page, const zvEvent& event) const {
  if (event.kind == ZV_EVENT_CLICK && page.id(event.target) == copyButtonId)
    return page.copyDisplayParameters(key);
  return textEditor::event(key, page, event);
}

// ---- lists of the screen options -----------------------------------------------------

std::u16string modeCaption(const videoMode& mode) {
  std::u16string caption = decimal(mode.width) + u" × " + decimal(mode.height);
  if (mode.refresh > 0) caption += u", " + decimal(mode.refresh) + u" Гц";
  return caption;
}

std::vector<choiceItem> videoModeChoices() {
  std::vector<choiceItem> items{{u"auto", u"Автоматически (по данным монитора)"}};
  for (videoMode mode : standardResolutions()) {
    for (long hertz : {60L, 75L}) {
      // 75 Hz exists only for the older, smaller modes.
      if (hertz == 75 && mode.width > 1600) continue;
      mode.refresh = hertz;
      items.push_back({formatVideoMode(mode), modeCaption(mode)});
    }
  }
  return items;
}

std::vector<choiceItem> resolutionChoices() {
  std::vector<choiceItem> items{{u"auto", u"Автоматически"}};
  for (const videoMode& mode : standardResolutions())
    items.push_back({formatResolution(mode), modeCaption(mode)});
  return items;
}

std::vector<choiceItem> refreshChoices() {
  std::vector<choiceItem> items{{u"auto", u"Автоматически"}};
  for (long hertz : standardRefreshRates())
    items.push_back({decimal(hertz), decimal(hertz) + u" Гц"});
  return items;
}

std::vector<choiceItem> colourDepthChoices() {
  return {{u"8", u"256 цветов (8 бит)"},
          {u"16", u"65 тысяч цветов (16 бит)"},
          {u"24", u"16,7 миллиона цветов (24 бита)"},
          {u"32", u"16,7 миллиона цветов и прозрачность (32 бита)"}};
}

std::vector<choiceItem> connectorChoices() {
  return {{u"auto", u"Автоматически"},
          {u"VGA-1", u"VGA-1"},
          {u"DVI-I-1", u"DVI-I-1"},
          {u"DVI-D-1", u"DVI-D-1"},
          {u"HDMI-1", u"HDMI-1"},
          {u"HDMI-2", u"HDMI-2"},
          {u"DP-1", u"DP-1 (DisplayPort)"},
          {u"DP-2", u"DP-2 (DisplayPort)"},
          {u"eDP-1", u"eDP-1 (встроенный экран)"},
          {u"LVDS-1", u"LVDS-1 (встроенный экран)"}};
}

// ---- the processor -------------------------------------------------------------------

static_assert(std::is_standard_layout_v<optionRecord>);

namespace {

const editorKind* editorOf(const zvOptionSpecRecord* record) {
  // abi is the first member of a standard-layout optionRecord.
  return record ? reinterpret_cast<const optionRecord*>(record)->editor : nullptr;
}

bool readable(const zvText& text) {
  return text.units || text.length == 0;
}

int renderValue(const zvOptionSpecRecord* record, zvOutput* out, zvText value, int readOnly) {
  try {
    const editorKind* editor = editorOf(record);
    if (!editor || !readable(value)) return 0;
    return writeOutput(out, editor->render(fromText(value), readOnly != 0));
  } catch (...) {
    return 0;
  }
}

int readValue(const zvOptionSpecRecord* record, zvOutput* out, const zvHost* host,
              zvElement editorElement) {
  try {
    const editorKind* editor = editorOf(record);
    document page(host);
    if (!editor || !page.usable() || !editorElement) return 0;
    std::optional<std::u16string> value = editor->read(page, editorElement);
    return value && writeOutput(out, *value);
  } catch (...) {
    return 0;
  }
}

int validateValue(const zvOptionSpecRecord* record, zvText value) {
  try {
    const editorKind* editor = editorOf(record);
    return editor && readable(value) && editor->accepts(fromText(value));
  } catch (...) {
    return 0;
  }
}

int handleEvent(const zvOptionSpecRecord* record, const zvHost* host, const zvEvent* event) {
  try {
    const editorKind* editor = editorOf(record);
    document page(host);
    if (!editor || !event || !page.usable()) return 0;
    return editor->event(record->name, page, *event);
  } catch (...) {
    return 0;
  }
}

}  // namespace

const zvOptionProcessor editorProcessor = {renderValue, readValue, validateValue, handleEvent};

}  // namespace zv::spec
