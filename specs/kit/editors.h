#pragma once
// Editor kinds: how the options editor shows one option's value, reads it back from the
// page, checks a value and handles the editor's events.
//
// Every editor's main control has the id "editValue"; the console finds it there too
// (it scrolls the selected entry of the video list into view). Controls that should
// reach the event operation carry the attribute "handleEvent". Editor objects are
// immutable and live as long as the library; calls come from the console's
// user-interface thread.

#include "specs/kit/document.h"
#include "specs/kit/formats.h"
#include "specs/zvspec.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::spec {

using valueCheck = bool (*)(std::u16string_view value);

class editorKind {
 public:
  virtual ~editorKind() = default;

  // The editor's HTML for `value`. A read-only editor shows the value but takes no input.
  virtual std::u16string render(std::u16string_view value, bool readOnly) const = 0;
  // The value the editor below `editor` holds now; nothing when its control is missing.
  virtual std::optional<std::u16string> read(const document& page, zvElement editor) const;
  // An event of one of the editor's elements (option `key`); true when handled.
  virtual bool event(const char* key, const document& page, const zvEvent& event) const;

  // True when `value` can stand in a configuration line and has this editor's form.
  bool accepts(std::u16string_view value) const;

 protected:
  virtual bool check(std::u16string_view value) const = 0;
};

// One entry of a list: the value written to the configuration and its caption.
struct choiceItem {
  std::u16string value;
  std::u16string caption;
};

// A drop-down list (or, with `rows`, a list box of that many rows). Values compare
// without regard to ASCII letter case. `other`, when given, also accepts values that are
// not in the list (a video mode the terminal reported, say); such a value is shown as an
// extra entry.
class choiceEditor : public editorKind {
 public:
  explicit choiceEditor(std::vector<choiceItem> items, valueCheck other = nullptr, int rows = 0);
  std::u16string render(std::u16string_view value, bool readOnly) const override;
  const std::vector<choiceItem>& items() const { return items_; }

 protected:
  bool check(std::u16string_view value) const override;

 private:
  std::vector<choiceItem> items_;
  valueCheck other_;
  int rows_;
};

// A check box: "on" or "off".
class switchEditor : public editorKind {
 public:
  explicit switchEditor(std::u16string caption);
  std::u16string render(std::u16string_view value, bool readOnly) const override;
  std::optional<std::u16string> read(const document& page, zvElement editor) const override;

 protected:
  bool check(std::u16string_view value) const override;

 private:
  std::u16string caption_;
};

// A one-line text field. While the user types, the field carries the class "errorValue"
// whenever its text is not a valid value.
class fieldEditor : public editorKind {
 public:
  struct look {
    size_t maxLength;
    const char16_t* filter;  // the engine's input filter ("0~9."), or null
    std::u16string hint;     // shown after the field, or empty
  };
  explicit fieldEditor(look shape);
  std::u16string render(std::u16string_view value, bool readOnly) const override;
  bool event(const char* key, const document& page, const zvEvent& event) const override;

 protected:
  // Extra markup after the field (buttons).
  virtual std::u16string extras(bool readOnly) const;
  size_t maxLength() const { return look_.maxLength; }

 private:
  look look_;
};

// A whole number in [min, max], written in its plain decimal form.
class rangeEditor : public fieldEditor {
 public:
  rangeEditor(long min, long max, std::u16string unit);

 protected:
  bool check(std::u16string_view value) const override;

 private:
  long min_;
  long max_;
};

// An IPv4 address in dotted decimal; empty allowed when `allowEmpty`.
class addressEditor : public fieldEditor {
 public:
  explicit addressEditor(bool allowEmpty);

 protected:
  bool check(std::u16string_view value) const override;

 private:
  bool allowEmpty_;
};

// A host name (RFC 1123) or IPv4 address; with `singleLabel` one label only (the
// terminal's own name). Empty allowed when `allowEmpty`. An empty hint gives the usual one.
class hostEditor : public fieldEditor {
 public:
  hostEditor(bool singleLabel, bool allowEmpty, std::u16string hint = {});

 protected:
  bool check(std::u16string_view value) const override;

 private:
  bool singleLabel_;
  bool allowEmpty_;
};

// Free text of at most `maxLength` units; `form`, when given, must accept it too.
class textEditor : public fieldEditor {
 public:
  textEditor(size_t maxLength, valueCheck form = nullptr, std::u16string hint = {});

 protected:
  bool check(std::u16string_view value) const override;

 private:
  valueCheck form_;
};

// The display line, with a button that asks the options editor to compose it from the
// options resolution, refresh, noddc, connector and modeline.
class displayEditor : public textEditor {
 public:
  displayEditor();
  bool event(const char* key, const document& page, const zvEvent& event) const override;

 protected:
  std::u16string extras(bool readOnly) const override;
};

// The record handed to the console, with its editor behind it. Records are made only by
// optionTable, so the processor can find a record's editor from the record's address.
struct optionRecord {
  zvOptionSpecRecord abi;
  const editorKind* editor;
};

// The one processor of every record: it hands each operation to the record's editor.
extern const zvOptionProcessor editorProcessor;

// Lists of video modes for the "video" option: "auto", then the standard resolutions at
// the usual rates.
std::vector<choiceItem> videoModeChoices();
// "auto" and the standard resolutions.
std::vector<choiceItem> resolutionChoices();
// "auto" and the usual refresh rates.
std::vector<choiceItem> refreshChoices();
// Colour depths of the screen: 8, 16, 24 and 32 bits.
std::vector<choiceItem> colourDepthChoices();
// "auto" and the usual video outputs (HDMI-1, DP-1 ...).
std::vector<choiceItem> connectorChoices();
// Caption of a mode: "1920 × 1080, 60 Гц".
std::u16string modeCaption(const videoMode& mode);

}  // namespace zv::spec
