// The DHCP options window. The working list takes every edit; the saved list is what
// the last save (or the opening) left on disk. One option is edited at a time: the
// editor of the selected code is read back and stored in the working list whenever
// another row becomes current and before every save, so a value that does not read
// keeps its row selected until it is corrected.
//
// Everything the browser reports is checked again here: a row's num, a typed number,
// an address, a file's bytes. Elements are found by id in the window's own document,
// and a missing one abandons the operation with an internal error.

#include "zvc/services/dhcpOptionsDialog.h"

#include "common/terminalDHCP.h"
#include "common/terminalID.h"
#include "htmlview/controlActions.h"
#include "htmlview/events.h"
#include "htmlview/messageBoxWindow.h"
#include "htmlview/parser.h"
#include "htmlview/rows.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "zvc/register/terminals.h"
#include "zvc/services/dhcpValues.h"
#include "zvc/ui/dialogEvents.h"
#include "zvc/ui/editMenus.h"
#include "zvc/ui/fileChooser.h"
#include "zvc/ui/messageBox.h"

#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {
namespace {

constexpr const char* sourceName = "DHCP_optionsDialog";
constexpr const char* tableId = "dhcp_options";
constexpr const char* editorId = "dhcp_option_editor";
constexpr const char* addButton = "options_add";
constexpr const char* applyButton = "options_apply";
constexpr const char* restoreButton = "options_restore";
constexpr const char* cancelButton = "options_cancel";
constexpr const char* saveQuestion = "Сохранить изменения?";
constexpr const char* saveFailedMessage = "Не удалось сохранить параметры DHCP";
constexpr int32_t newCode = dhcpOption::newOptionCode;
// The option a terminal's restore falls back on when the selected one is gone.
constexpr int32_t fallbackCode = 66;
constexpr std::size_t nameInputLimit = 64;
constexpr std::size_t binaryReadLimit = 128;
constexpr std::size_t binaryShownLimit = 64;

}  // namespace

namespace {

// What the editor holds, read back.
struct editorReading {
  bool off = false;
  bool isAuto = false;
  int32_t type = dhcpTypeNone;
  std::string bytes;
  std::u16string name;
};

class dhcpOptionsWindow {
 public:
  dhcpOptionsWindow(windowHost& windows, windowId owner, dhcpDefaults& defaults, terminal* t,
                    const dhcpDialogHooks& hooks)
      : windows_(windows), owner_(owner), defaults_(defaults), t_(t), hooks_(hooks) {
    working_ = t_ ? t_->dhcp : defaults_.options();
    saved_ = working_;
  }

  bool run(int32_t firstCode) {
    windowSpec spec;
    spec.title = t_ ? "DHCP параметры терминала " + t_->mac.logText()
                    : std::string("DHCP параметры по умолчанию");
    spec.width = 500;
    spec.height = 500;
    spec.owner = windows_.isOpen(owner_) ? owner_ : 0;
    spec.modal = true;
    spec.css = {"/skin/common-body.css", "/skin/command-button.css",
                "/skin/dhcp-options-details.css", "/skin/dhcp-options-grid.css"};
    dhcpOption ignored;
    selected_ = firstCode > 0 && resolve(firstCode, ignored) ? firstCode : 0;
    // The selection is shown before the window goes to the browser, so the window
    // arrives whole.
    pending_ = std::make_unique<document>();
    pending_->load(documentHtml());
    showSelection();
    if (elementRef table = byId(tableId)) table->focus();
    window_ = windows_.openWindow(std::move(spec), std::move(pending_));
    if (window_ == 0) {
      logMessage("%s: _options_createWindow failed", sourceName);
      return false;
    }
    windows_.setEventHandler(window_, [this](uiEvent& e) { return handle(e); });
    windows_.setCloseHandler(window_, [this] { frameClosed(); });
    windows_.runModal(window_);
    return savedAny_ || leftUnsaved_;
  }

 private:
  // ---- resolving --------------------------------------------------------------------

  // What the editor shows for a code. A terminal's option falls back on the defaults;
  // in the defaults the working list is the whole truth (an option turned off there is
  // not shown from its file still on disk).
  bool resolve(int32_t code, dhcpOption& out, optionSource* source = nullptr) const {
    if (t_) return defaults_.resolve(working_, code, out, source);
    out = dhcpOption{};
    out.code = code;
    if (const dhcpOption* o = findOption(working_, code)) {
      out = *o;
      if (source) *source = optionSource::defaults;
      return true;
    }
    if (const predefinedDhcpOption* p = predefinedOption(code)) {
      out.type = p->type;
      if (source) *source = optionSource::predefined;
      return true;
    }
    if (code == newCode) out.type = dhcpTypeIp;
    if (source) *source = optionSource::none;
    return false;
  }

  // ---- the document -------------------------------------------------------------------

  std::string tableRows() const {
    std::string html;
    for (int32_t code = 1; code <= 255; ++code) {
      dhcpOption o;
      if (resolve(code, o)) {
        o.code = code;
        html += dhcpOptionRowHtml(code, o.isSet(), optionDisplayName(o));
      }
    }
    return html;
  }

  std::string documentHtml() const {
    std::string html = "<html><head><menu>" + editMenusHtml() +
                       "</menu></head><body><div class=\"dhcp_scroll\"><table id=\"";
    html += tableId;
    html += "\" class=\"dhcp_option_grid\">" + tableRows() + "</table></div><div id=\"";
    html += editorId;
    html += "\" class=\"dhcp_option_editor\"></div><div class=\"buttons\"><button id=\"";
    html += addButton;
    html += "\" class=\"command\">Добавить</button> <button id=\"";
    html += applyButton;
    html += "\" class=\"command\" disabled>Сохранить</button> <button id=\"";
    html += restoreButton;
    html += "\" class=\"command\" disabled>Восстановить</button> <button id=\"";
    html += cancelButton;
    html += "\" class=\"command\">Закрыть</button></div></body></html>";
    return html;
  }

  // The window's document, or the one being built before the window opens.
  document* docPtr() const { return window_ ? windows_.doc(window_) : pending_.get(); }
  document& doc() const { return *docPtr(); }

  elementRef byId(std::string_view id) const {
    document* d = docPtr();
    return d ? d->byId(id) : elementRef();
  }

  elementRef rowOf(int32_t code) const {
    elementRef table = byId(tableId);
    return table ? table->selectFirst("tr[num=\"" + std::to_string(code) + "\"]") : elementRef();
  }

  void missing(int line) { internalErrorBox(__FILE__, line, sourceName); }

  void rebuild() {
    if (!docPtr()) return;
    elementRef table = byId(tableId);
    if (!table) return missing(__LINE__);
    table->setInnerHtml(tableRows());
    showSelection();
  }

  // The selected row made current and the editor shown for it.
  void showSelection() {
    elementRef table = byId(tableId);
    if (!table) return missing(__LINE__);
    for (elementRef& row : table->selectAll("tr")) {
      bool it = selected_ != 0 && row->attribute("num") == std::to_string(selected_);
      switchStates(*row, stateCurrent, it);
      if (it) row->scrollIntoView();
    }
    showEditor();
    refreshButtons();
  }

  void showEditor() {
    touched_ = false;
    elementRef area = byId(editorId);
    if (!area) return missing(__LINE__);
    if (selected_ == 0) {
      area->setInnerHtml("");
      return;
    }
    dhcpEditorView view;
    view.code = selected_;
    view.terminalMode = t_ != nullptr;
    bool found = resolve(selected_, view.option, &view.source);
    view.option.code = selected_;
    area->setInnerHtml(dhcpOptionEditorHtml(view));
    if (elementRef type = byId("option_type")) {
      if (elementRef first = type->selectFirst("option")) first->setStates(stateCurrent, 0);
      type->setValue(dhcpTypeCaptions[0]);
    }
    bool enabled = selected_ == newCode || (found && view.option.isSet());
    applyEnabled(enabled);
  }

  // The editor's inputs follow the row's check box; "[auto]" then disables all but itself.
  void applyEnabled(bool enabled) {
    elementRef area = byId(editorId);
    if (!area) return;
    elementRef autoBox = byId("bAuto");
    bool isAuto = autoBox && autoBox->hasState(stateChecked);
    for (elementRef& e : area->selectAll("input, select, button, widget, plaintext")) {
      bool isAutoBox = e->attribute("id") == "bAuto";
      bool on = enabled && (isAutoBox || !isAuto);
      switchStates(*e, stateDisabled, !on);
    }
  }

  void refreshButtons() {
    for (const char* id : {applyButton, restoreButton}) {
      if (elementRef b = byId(id)) switchStates(*b, stateDisabled, !dirty_);
    }
    if (elementRef apply = byId(applyButton)) {
      apply->setStyle("outline-style", dirty_ ? "glow" : "none");
      if (dirty_) {
        apply->setStyle("outline-color", "white");
        apply->setStyle("outline-width", "1px");
        apply->setStyle("outline-offset", "3px");
      }
    }
  }

  void setDirty(bool dirty) {
    dirty_ = dirty;
    if (dirty) touched_ = true;
    refreshButtons();
  }

  void setRowChecked(int32_t code, bool checked) {
    elementRef row = rowOf(code);
    elementRef box = row ? row->selectFirst("button") : elementRef();
    if (box) switchStates(*box, stateChecked, checked);
  }

  // ---- reading and committing ----------------------------------------------------------

  static bool disabled(const elementRef& e) { return e && e->hasState(stateDisabled); }

  std::optional<editorReading> readEditor() {
    elementRef area = byId(editorId);
    if (!area) {
      missing(__LINE__);
      return std::nullopt;
    }
    editorReading r;
    dhcpOption resolved;
    resolve(selected_, resolved);
    r.type = dhcpEditedType(resolved);
    r.name = resolved.name;
    elementRef num = byId("option_num");
    elementRef type = byId("option_type");
    if (disabled(num) || disabled(type)) r.off = true;
    if (num && !disabled(num)) {
      std::optional<int32_t> n = dhcpSmallNumber(num->value(), 3);
      if (!n || *n != selected_) return std::nullopt;
    }
    if (elementRef name = byId("option_name"); name && !disabled(name)) {
      std::u16string text = fromUtf8(name->value());
      if (text.size() > nameInputLimit) return std::nullopt;
      // A name its name file cannot hold back is refused rather than changed.
      if (!text.empty() && !holdableOptionName(text)) return std::nullopt;
      r.name = text;
    }
    if (type) {
      elementRef current = type->selectFirst("option:current");
      int32_t chosen = dhcpTypeOfCaption(current ? current->text() : type->value());
      if (chosen == dhcpTypeNone) return std::nullopt;
      r.type = chosen;
    }
    if (!r.off && !readValue(r)) return std::nullopt;
    if (elementRef autoBox = byId("bAuto"); autoBox && !disabled(autoBox))
      r.isAuto = autoBox->hasState(stateChecked);
    if (!area->selectAll(".errorValue").empty()) return std::nullopt;
    return r;
  }

  bool readValue(editorReading& r) {
    std::optional<dhcpTypedValue> value;
    if (r.type == dhcpTypeIpList) {
      elementRef input = byId("ip_editValue");
      elementRef list = byId("ip_list");
      if (!input || !list) return false;
      if (disabled(input)) {
        r.off = true;
        return true;
      }
      std::vector<std::string> addresses;
      for (elementRef& o : list->selectAll("option")) addresses.push_back(o->text());
      std::string typed = input->value();
      if (!typed.empty()) {
        if (input->matches(".error_ip")) return false;
        addresses.push_back(typed);
      }
      value = parseAddressList(addresses);
    } else {
      const char* id = r.type == dhcpTypeIp    ? "ip_editValue"
                       : r.type == dhcpTypeU8  ? "u8_editValue"
                       : r.type == dhcpTypeU16 ? "u16_editValue"
                       : r.type == dhcpTypeU32 ? "u32_editValue"
                       : r.type == dhcpTypeBin ? "bin_editValue"
                                               : "str_editValue";
      elementRef input = byId(id);
      if (!input) return false;
      if (disabled(input)) {
        r.off = true;
        return true;
      }
      std::string text = r.type == dhcpTypeBin ? input->text() : input->value();
      value = parseDhcpValue(r.type, text);
    }
    if (!value) return false;
    r.off = value->off;
    r.bytes = value->bytes;
    return true;
  }

  // Stores a reading in the working list. A record of the code left empty with another
  // type gives way to the new one; a record with a value of another type refuses.
  bool store(const editorReading& r) {
    std::string_view bytes = r.off ? std::string_view() : std::string_view(r.bytes);
    bool changed = false;
    bool ok = putOption(working_, selected_, bytes, r.type, r.isAuto, r.name, changed);
    if (!ok) {
      const dhcpOption* old = findOption(working_, selected_);
      if (!old || old->isSet()) return false;
      removeOption(working_, selected_);
      ok = putOption(working_, selected_, bytes, r.type, r.isAuto, r.name, changed);
      changed = true;
    }
    if (!ok) return false;
    // An option left with neither value nor "[auto]" is shown off in the table.
    const dhcpOption* stored = findOption(working_, selected_);
    if (!stored || !stored->isSet()) setRowChecked(selected_, false);
    if (changed) setDirty(true);
    return true;
  }

  // Reads the editor of the selected option into the working list; the box when it
  // does not read.
  bool storeEditor() {
    // An editor only looked at stores nothing: a terminal's option shown from the
    // defaults does not become the terminal's own, and an option without a value does
    // not leave an empty record behind. A new option is always read.
    if (selected_ == 0 || (!touched_ && selected_ != newCode)) return true;
    // Events queued before the box opened reach the window while it shows: they must
    // not commit again and stack a second box over the first.
    if (refusing_) return false;
    std::optional<editorReading> r = readEditor();
    if (!r || !store(*r)) {
      refusing_ = true;
      showMessageBox(windows_, window_, invalidDhcpValueMessage, errorCaption, boxButtons::ok,
                     boxIcon::error);
      refusing_ = false;
      return false;
    }
    return true;
  }

  // Another row becomes current: the editor is stored first; when it does not read,
  // the old row stays current.
  bool commitEditor(int32_t code) {
    if (closing_) return false;
    if (code <= 0) return false;
    if (code == selected_) return true;
    if (selected_ != 0 && !storeEditor()) {
      showSelectionRowOnly();
      return false;
    }
    selected_ = code;
    showSelection();
    return true;
  }

  void showSelectionRowOnly() {
    elementRef table = byId(tableId);
    if (!table) return;
    for (elementRef& row : table->selectAll("tr")) {
      bool it = row->attribute("num") == std::to_string(selected_);
      switchStates(*row, stateCurrent, it);
    }
  }

  void rowClicked(element& row) {
    // A row whose change was refused already is no longer current.
    if (!row.hasState(stateCurrent)) return;
    std::optional<int32_t> code = dhcpSmallNumber(row.attribute("num").value_or(""), 3);
    if (!code || *code == 0) {
      showSelectionRowOnly();
      return;
    }
    commitEditor(*code);
  }

  // ---- the editor's own events ------------------------------------------------------------

  void addOption() {
    if (selected_ == newCode) return;
    elementRef table = byId(tableId);
    if (!table) return missing(__LINE__);
    elementRef last = table->selectAll("tr").empty() ? elementRef() : table->selectAll("tr").back();
    element& parent = last && last->parent() ? *last->parent() : *table;
    std::string num = std::to_string(newCode);
    elementRef row = doc().createElement("tr");
    row->setAttribute("num", num);
    elementRef cell = doc().createElement("td");
    elementRef box = doc().createElement("button");
    box->setAttribute("type", "checkbox");
    box->setAttribute("num", num);
    box->setStates(stateChecked, 0);
    elementRef span = doc().createElement("span");
    span->setAttribute("name", "name");
    span->setText("000");
    cell->append(box);
    cell->append(span);
    row->append(cell);
    parent.append(row);
    if (!commitEditor(newCode)) {
      if (elementRef row = rowOf(newCode)) row->remove();
      return;
    }
    setDirty(true);
  }

  void numberChanged(element& input) {
    std::optional<int32_t> n = dhcpSmallNumber(input.value(), 3);
    dhcpOption ignored;
    if (!n || *n == 0 || *n > 255 || resolve(*n, ignored)) {
      input.setAttribute("class", "error");
      return;
    }
    input.removeAttribute("class");
    elementRef row = rowOf(selected_);
    if (!row) return missing(__LINE__);
    std::string num = std::to_string(*n);
    row->setAttribute("num", num);
    if (elementRef box = row->selectFirst("button")) box->setAttribute("num", num);
    if (elementRef span = row->selectFirst("span")) span->setText(dhcpCodeText(*n));
    selected_ = *n;
  }

  void nameChanged(element& input) {
    elementRef row = rowOf(selected_);
    elementRef span = row ? row->selectFirst("span") : elementRef();
    if (!span) return;
    span->setText(dhcpCodeText(selected_ == newCode ? 0 : selected_) + " " + input.value());
  }

  void typeChosen() {
    elementRef cell = byId("editor_new");
    elementRef type = byId("option_type");
    if (!cell || !type) return missing(__LINE__);
    elementRef current = type->selectFirst("option:current");
    int32_t chosen = dhcpTypeOfCaption(current ? current->text() : type->value());
    if (chosen == dhcpTypeNone) return;
    dhcpOption empty;
    cell->setInnerHtml(dhcpValueEditorHtml(newCode, chosen, empty));
    elementRef row = rowOf(selected_);
    elementRef box = row ? row->selectFirst("button") : elementRef();
    applyEnabled(!box || box->hasState(stateChecked));
  }

  bool listHolds(const std::string& address) {
    elementRef list = byId("ip_list");
    if (!list) return false;
    for (elementRef& o : list->selectAll("option"))
      if (o->text() == address) return true;
    return false;
  }

  // Empty text and a new valid address are fine; anything else is marked.
  void addressTyped(element& input) {
    std::string text = input.value();
    if (!text.empty() && (!parseDottedAddress(text) || listHolds(text)))
      input.setAttribute("class", "error_ip");
    else
      input.removeAttribute("class");
  }

  void addAddress() {
    elementRef input = byId("ip_editValue");
    elementRef list = byId("ip_list");
    if (!input || !list) return missing(__LINE__);
    std::string text = input->value();
    std::optional<uint32_t> address = parseDottedAddress(text);
    if (!address || listHolds(text) || list->selectAll("option").size() >= maxListAddresses) {
      input->setAttribute("class", "error");
      return;
    }
    for (elementRef& o : list->selectAll("option")) o->setStates(0, stateCurrent);
    elementRef option = doc().createElement("option");
    option->setText(text);
    list->append(option);
    option->setStates(stateCurrent, 0);
    input->setValue("");
    input->removeAttribute("class");
    setDirty(true);
  }

  void moveAddress(int step) {
    elementRef list = byId("ip_list");
    if (!list) return missing(__LINE__);
    std::vector<elementRef> options = list->selectAll("option");
    for (std::size_t i = 0; i < options.size(); ++i) {
      if (!options[i]->hasState(stateCurrent)) continue;
      if (step == 0) {
        options[i]->remove();
        if (i < options.size() - 1)
          options[i + 1]->setStates(stateCurrent, 0);
        else if (i > 0)
          options[i - 1]->setStates(stateCurrent, 0);
      } else {
        std::size_t other = step < 0 ? i - 1 : i + 1;
        if ((step < 0 && i == 0) || other >= options.size()) return;
        element::swap(*options[i], *options[other]);
      }
      setDirty(true);
      return;
    }
  }

  void passwordTyped(const std::string& password) {
    elementRef digest = byId("str_editValue");
    if (!digest) return missing(__LINE__);
    digest->setValue(passwordDigest18(password));
  }

  void togglePasswordView() {
    elementRef input = byId("pass_editValue");
    if (!input) return missing(__LINE__);
    bool hidden = input->attribute("type") == "password";
    input->setAttribute("type", hidden ? "text" : "password");
  }

  void chooseBinary() {
    // Without a chooser of the caller's own, the console's chooser of server files.
    std::string path =
        hooks_.chooseFile ? hooks_.chooseFile(window_) : chooseServerFile(windows_, window_, {});
    if (path.empty()) return;
    elementRef shown = byId("bin_editValue");
    if (!shown) return missing(__LINE__);
    std::size_t slash = path.rfind('/');
    std::string directory =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    fileContents read = readFileHeadIn(directory, name, binaryReadLimit);
    if (!read.ok()) {
      internalErrorBox(__FILE__, __LINE__, sourceName);
      return;
    }
    bool fits = !read.more && read.bytes.size() < binaryShownLimit;
    shown->setText(fits ? binaryText(read.bytes) : std::string());
    setDirty(true);
  }

  // A row's check box turns its option on or off. Its row became current with the
  // click (followKeyboard); when the editor before did not read, the row stayed where
  // it was and the box goes back to what it was.
  void rowChecked(element& box) {
    std::optional<int32_t> code = dhcpSmallNumber(box.attribute("num").value_or(""), 3);
    bool checked = box.hasState(stateChecked);
    if (!code || *code != selected_) {
      switchStates(box, stateChecked, !checked);
      return;
    }
    applyEnabled(checked);
    setDirty(true);
  }

  // ---- saving, restoring, closing ---------------------------------------------------------

  bool save(bool fromApply) {
    if (!storeEditor()) return false;
    if (t_) {
      std::string directory = terminalDirectory(t_->mac);
      if (directory.empty() || !saveOptions(working_, directory) ||
          !readTerminalDhcp(*t_, t_->dhcp, t_->bootType)) {
        showMessageBox(windows_, window_, saveFailedMessage, errorCaption, boxButtons::ok,
                       boxIcon::error);
        return false;
      }
      working_ = t_->dhcp;
    } else {
      if (!defaults_.save(working_)) {
        showMessageBox(windows_, window_, saveFailedMessage, errorCaption, boxButtons::ok,
                       boxIcon::error);
        return false;
      }
      working_ = defaults_.options();
    }
    saved_ = working_;
    dhcpOption ignored;
    if (selected_ == newCode || (selected_ != 0 && !resolve(selected_, ignored))) selected_ = 0;
    savedAny_ = true;
    dirty_ = false;
    if (fromApply) rebuild();
    refreshButtons();
    return true;
  }

  void restore(bool rebuildAfter) {
    if (t_) {
      working_ = saved_;
    } else {
      defaults_.load();
      working_ = defaults_.options();
    }
    dhcpOption ignored;
    if (selected_ != 0 && !resolve(selected_, ignored)) selected_ = t_ ? fallbackCode : 0;
    if (selected_ != 0 && !resolve(selected_, ignored)) selected_ = 0;
    dirty_ = false;
    if (rebuildAfter) rebuild();
    refreshButtons();
  }

  void close() {
    closing_ = true;
    windows_.endModal(window_, 0);
  }

  // "Закрыть" and the frame's close: the question when there are edits.
  void closeAsking(bool restoreOnNo) {
    if (!dirty_) return close();
    boxAnswer a = showMessageBox(windows_, window_, saveQuestion, warningCaption, boxButtons::yesNo,
                                 boxIcon::question);
    if (a == boxAnswer::yes) {
      if (save(false)) close();
      return;
    }
    if (a != boxAnswer::no) return;
    leftUnsaved_ = true;
    if (restoreOnNo) restore(false);
    close();
  }

  void frameClosed() { closeAsking(true); }

  static std::string idOf(const elementRef& e) {
    return e ? std::string(e->attribute("id").value_or("")) : std::string();
  }

  bool insideEditor(const elementRef& e) {
    elementRef area = byId(editorId);
    return e && area && area->contains(*e);
  }

  bool inTable(const elementRef& e) {
    elementRef table = byId(tableId);
    return e && table && table->contains(*e);
  }

  // The table's keys move its current row without a row event, and a click on a row's
  // check box reaches the window before the row's event: the next event the window gets
  // commits the editor for the row that became current.
  void followKeyboard() {
    elementRef table = byId(tableId);
    elementRef row = table ? table->selectFirst("tr:current") : elementRef();
    if (!row) return;
    std::optional<int32_t> code = dhcpSmallNumber(row->attribute("num").value_or(""), 3);
    if (code && *code != selected_) commitEditor(*code);
  }

  bool handle(uiEvent& e) {
    if (closing_) return false;
    if (e.kind != eventKind::tableRowClick) followKeyboard();
    std::string button = buttonOf(e);
    std::string source = idOf(e.source);
    if (e.kind == eventKind::tableRowClick && e.target && source == tableId) {
      rowClicked(*e.target);
    } else if (isEscape(e)) {
      leftUnsaved_ = dirty_;
      restore(false);
      close();
    } else if (isEnter(e)) {
      if (idOf(e.target) == "ip_editValue") {
        addAddress();
      } else if (save(false)) {
        close();
      }
    } else if (button == addButton) {
      addOption();
    } else if (button == applyButton) {
      save(true);
    } else if (button == restoreButton) {
      restore(true);
    } else if (button == cancelButton) {
      closeAsking(true);
    } else if (e.kind == eventKind::buttonClick && inTable(e.source) &&
               e.source->tag() == "button") {
      rowChecked(*e.source);
    } else if (insideEditor(e.source)) {
      return editorEvent(e, button, source);
    } else {
      return false;
    }
    return true;
  }

  // The editor's behaviour events; the browser's input goes on to the controls.
  bool editorEvent(uiEvent& e, const std::string& button, const std::string& source) {
    if (e.kind == eventKind::editValueChanged) {
      if (source == "option_num")
        numberChanged(*e.source);
      else if (source == "option_name")
        nameChanged(*e.source);
      else if (source == "ip_editValue")
        addressTyped(*e.source);
      else if (source == "pass_editValue")
        passwordTyped(e.value);
      setDirty(true);
    } else if (e.kind == eventKind::selectionChanged) {
      if (source == "option_type") typeChosen();
      setDirty(true);
    } else if (button == "add_ip") {
      addAddress();
    } else if (button == "remove_ip") {
      moveAddress(0);
    } else if (button == "up_ip") {
      moveAddress(-1);
    } else if (button == "down_ip") {
      moveAddress(1);
    } else if (button == "view") {
      togglePasswordView();
    } else if (button == "binarySelect") {
      chooseBinary();
    } else if (button == "bAuto") {
      applyEnabled(true);
      setDirty(true);
    } else {
      return false;
    }
    return true;
  }

  windowHost& windows_;
  windowId owner_;
  dhcpDefaults& defaults_;
  terminal* t_;
  const dhcpDialogHooks& hooks_;
  windowId window_ = 0;
  std::unique_ptr<document> pending_;
  dhcpOptionList working_;
  dhcpOptionList saved_;
  int32_t selected_ = 0;
  bool dirty_ = false;
  bool touched_ = false;  // the editor shown was changed by the user
  bool savedAny_ = false;
  bool leftUnsaved_ = false;
  bool closing_ = false;
  bool refusing_ = false;  // the invalid-value box is open
};

}  // namespace

bool openDhcpOptionsDialog(windowHost& windows, windowId owner, dhcpDefaults& defaults, terminal* t,
                           int32_t firstCode, const dhcpDialogHooks& hooks) {
  dhcpOptionsWindow dialog(windows, owner, defaults, t, hooks);
  return dialog.run(firstCode);
}

}  // namespace zv
