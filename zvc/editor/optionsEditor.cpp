#include "zvc/editor/optionsEditor.h"

#include "common/specLookup.h"
#include "htmlview/controlActions.h"
#include "htmlview/events.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"
#include "zvc/editor/configEdits.h"
#include "zvc/editor/configReport.h"
#include "zvc/editor/optionsEditorPages.h"
#include "zvc/editor/specHost.h"
#include "zvc/editor/versionChoice.h"
#include "zvc/editor/versionDialogs.h"
#include "zvc/register/versions.h"
#include "zvc/ui/dialogEvents.h"
#include "zvc/ui/editMenus.h"
#include "zvc/ui/messageBox.h"
#include "zvc/ui/userSettings.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <optional>

namespace zv {
namespace {

constexpr int minimumWidth = 1000;
constexpr int minimumHeight = 600;
constexpr std::string_view placementName = "options";

// The number after an id's prefix ("editName12" → 12), or none.
std::optional<std::size_t> rowNumber(std::string_view id, std::string_view prefix) {
  if (id.size() <= prefix.size() || id.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::string_view digits = id.substr(prefix.size());
  std::size_t n = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return n;
}

std::string idOf(const elementRef& e) {
  return e ? std::string(e->attribute("id").value_or("")) : std::string();
}

void markError(element* e, bool error) {
  if (!e) return;
  std::string cls(e->attribute("class").value_or(""));
  bool has = cls == errorClass;
  if (error && !has) e->setAttribute("class", errorClass);
  if (!error && has) e->removeAttribute("class");
}

class optionsEditor {
 public:
  optionsEditor(windowHost& windows, windowId owner, const installedVersions& versions,
                optionsEditorTarget& target, const optionsEditorHooks& hooks)
      : windows_(windows),
        owner_(owner),
        versions_(versions),
        target_(target),
        hooks_(hooks),
        working_(*target.list),
        saved_(*target.list) {
    scope_ = {target.screen, target.connection, target.which};
  }

  bool run(const versionSpec* spec, const std::string& initialKey);

 private:
  bool readOnly() const { return target_.readOnly; }
  void writeToConfig() {
    if (target_.config)
      target_.config->setScopeOptions(working_, scope_.screen, scope_.connection, scope_.which);
  }
  void readFromConfig();
  versionFit checkCompatibility(const versionSpec*& spec, windowId over);
  const zvOptionSpecRecord* listedRecord(std::string_view key) const;
  const zvOptionSpecRecord* firstRecord() const;

  screenRect placement() const;
  bool open();
  std::string bodyHtml();
  void rebuild();
  document& doc() { return *page_; }
  elementRef byId(std::string_view id);

  // The grid page.
  effectiveOption inEffect(const zvOptionSpecRecord& record) const;
  void showCurrent();
  void markRow(const zvOptionSpecRecord& record);
  void selectRow(const zvOptionSpecRecord* record);
  std::optional<std::u16string> readEditor();
  void showResult();
  bool commit();
  void rowClicked(element& row);
  void deleteCurrent();
  bool copyDisplay(const std::string& key);
  void editorEvent(uiEvent& e);

  // The free rows.
  void nameEdited(element& input, std::size_t row);
  void valueEdited(element& input, std::size_t row);
  void newRowEdited();
  void deleteRow(std::size_t row);
  bool rowsValid();

  // Saving and closing.
  void refreshButtons();
  void restoreList();
  bool askToSave(bool forced);
  bool prepareClose();
  void apply();
  void versionChanged();
  bool handle(uiEvent& e);
  bool handleEdit(uiEvent& e, const std::string& button, const std::string& source);

  windowHost& windows_;
  windowId owner_;
  const installedVersions& versions_;
  optionsEditorTarget& target_;
  const optionsEditorHooks& hooks_;
  optionScope scope_;
  optionList working_;
  optionList saved_;
  const versionSpec* spec_ = nullptr;
  const zvOptionSpecRecord* current_ = nullptr;
  std::string freeKey_;  // the free row to start on
  bool listChanged_ = false;
  bool listSaved_ = false;
  bool refusing_ = false;  // the invalid-value box is open
  windowId window_ = 0;
  document* page_ = nullptr;  // the window's document, owned by the window host
  std::unique_ptr<specHost> host_;
  screenRect placement_;
};

void optionsEditor::readFromConfig() {
  if (!target_.config) return;
  if (scope_.general()) {
    working_ = target_.config->generalOptions();
  } else if (const configConnection* c =
                 target_.config->connection(scope_.screen, scope_.connection, scope_.which)) {
    working_ = c->options;
  }
}

versionFit optionsEditor::checkCompatibility(const versionSpec*& spec, windowId over) {
  versionFit fit =
      incompatibleVersionDialog(windows_, over, versions_, spec, target_.config, working_);
  if (fit == versionFit::removed) {
    readFromConfig();
    listChanged_ = true;
  }
  return fit;
}

const zvOptionSpecRecord* optionsEditor::listedRecord(std::string_view key) const {
  const zvOptionSpecRecord* r = findOptionRecord(spec_, key);
  if (!r || (r->sectionMask & ZV_SECTION_UNLISTED) || !(r->sectionMask & working_.kind()))
    return nullptr;
  return r;
}

const zvOptionSpecRecord* optionsEditor::firstRecord() const {
  for (const zvOptionSpecRecord* r : optionRecords(spec_))
    if (r->name && listedRecord(r->name) == r) return r;
  return nullptr;
}

bool optionsEditor::run(const versionSpec* spec, const std::string& initialKey) {
  writeToConfig();
  if (spec) {
    versionFit fit = checkCompatibility(spec, owner_);
    if (fit == versionFit::cancelled) return false;
    if (fit == versionFit::otherVersion && target_.config && hooks_.versionChosen)
      hooks_.versionChosen(spec);
  }
  spec_ = spec;
  if (spec_) {
    current_ = listedRecord(initialKey);
    if (!current_) current_ = firstRecord();
  } else {
    freeKey_ = initialKey;
  }
  if (!open()) return false;
  windows_.runModal(window_);
  // The browser reports no placement of the windows inside its page, so the placement
  // the window opened with is the one kept.
  if (hooks_.userStore) saveWindowGeometry(*hooks_.userStore, placementName, placement_);
  *target_.list = working_;
  return listChanged_ || listSaved_;
}

// The stored placement "options", at least 1000 × 600; else 1000 × 600 centred on the
// main window.
screenRect optionsEditor::placement() const {
  std::optional<windowGeometry> main = windows_.mainGeometry();
  std::vector<screenRect> screens;
  if (main) screens.push_back({0, 0, main->screenWidth, main->screenHeight});
  std::optional<screenRect> stored;
  if (hooks_.userStore) stored = loadWindowGeometry(*hooks_.userStore, placementName, screens);
  if (stored) {
    // A size from the store is bounded as a screen is: a damaged value cannot make the
    // window absurdly large.
    constexpr int32_t largest = 16384;
    stored->width = std::clamp(stored->width, int32_t(minimumWidth), largest);
    stored->height = std::clamp(stored->height, int32_t(minimumHeight), largest);
    return *stored;
  }
  screenRect r{0, 0, minimumWidth, minimumHeight};
  if (main) {
    r.x = main->x + (main->width - minimumWidth) / 2;
    r.y = main->y + (main->height - minimumHeight) / 2;
  }
  return r;
}

elementRef optionsEditor::byId(std::string_view id) {
  elementRef e = doc().byId(id);
  if (!e) {
    ZV_REPORT("options editor: the page has no element #%.*s", int(id.size()), id.data());
    ZV_INTERNAL_ERROR();
  }
  return e;
}

std::string optionsEditor::bodyHtml() {
  std::string select = toUtf8(versions_.versionSelectHtml(fromUtf8(versionSelectId), spec_));
  if (!spec_) return freePageBody(working_, readOnly(), listChanged_, select);
  return gridPageBody(listedOptions(*spec_, working_.kind()), working_, readOnly(), listChanged_,
                      select);
}

bool optionsEditor::open() {
  windowSpec ws;
  ws.title = optionsEditorTitle(target_);
  ws.width = minimumWidth;
  ws.height = minimumHeight;
  ws.minWidth = minimumWidth;
  ws.minHeight = minimumHeight;
  ws.sizable = true;
  ws.modal = true;
  ws.owner = windows_.isOpen(owner_) ? owner_ : 0;
  ws.css = {"/skin/command-button.css", "/skin/options-details.css", "/skin/options-grid.css",
            "/skin/options.css", "/skin/common-body.css"};
  if (spec_) ws.css.insert(ws.css.begin() + 1, "/skin/main-tabs.css");
  placement_ = placement();
  ws.width = placement_.width;
  ws.height = placement_.height;
  auto page = std::make_unique<document>();
  page->load("<html><head><menu>" + editMenusHtml() + "</menu></head><body></body></html>");
  page_ = page.get();
  host_ = std::make_unique<specHost>(*page_,
                                     [this](const std::string& key) { return copyDisplay(key); });
  // The window comes to the browser whole: grid, editor and manual.
  rebuild();
  window_ = windows_.openWindow(std::move(ws), std::move(page));
  if (window_ == 0) {
    internalErrorBox(__FILE__, __LINE__, "optionsEditor");
    return false;
  }
  windows_.setEventHandler(window_, [this](uiEvent& e) { return handle(e); });
  windows_.setCloseHandler(window_, [this] {
    if (prepareClose()) windows_.endModal(window_, 0);
  });
  // A request to show the current row is only kept once the window is in the browser.
  if (spec_) selectRow(current_);
  return true;
}

void optionsEditor::rebuild() {
  if (elementRef body = doc().selectFirst("body")) body->setInnerHtml(bodyHtml());
  if (spec_) {
    selectRow(current_);
    showCurrent();
    return;
  }
  // Free rows: the caret goes to the row asked for.
  std::size_t i = 0;
  for (const configOption& o : working_) {
    if (equalsNoCase(o.key, freeKey_)) {
      if (elementRef input = doc().byId("editValue" + std::to_string(i))) input->focus();
      break;
    }
    ++i;
  }
}

// ---- the grid page --------------------------------------------------------------------

effectiveOption optionsEditor::inEffect(const zvOptionSpecRecord& record) const {
  if (target_.config) return effectiveAt(*target_.config, scope_, record.name, spec_);
  effectiveOption e;
  const std::u16string* own = working_.find(record.name);
  e.value = own ? *own : optionDefault(record);
  return e;
}

void optionsEditor::showCurrent() {
  elementRef panel = byId(editorPanelId);
  elementRef manual = byId(manualId);
  if (!panel || !manual) return;
  if (!current_) {
    panel->setInnerHtml("");
    manual->setInnerHtml("");
    return;
  }
  effectiveOption effective = inEffect(*current_);
  std::string rendered = toUtf8(versionSpec::render(*current_, effective.value, readOnly()));
  std::string source = sourceText(effective);
  panel->setInnerHtml(editorPanelHtml(current_->name, effective.value, rendered,
                                      target_.config ? &source : nullptr));
  manual->setInnerHtml(toUtf8(versionSpec::manual(*current_)));
  if (std::string_view(current_->name) == "video") {
    if (elementRef chosen = doc().selectFirst("#editValue option[selected]"))
      chosen->scrollIntoView();
  }
  if (!readOnly()) showResult();
}

void optionsEditor::markRow(const zvOptionSpecRecord& record) {
  elementRef grid = doc().byId(optionsGridId);
  if (!grid) return;
  elementRef row = grid->selectFirst(std::string("tr[key=\"") + record.name + "\"]");
  if (!row) return;
  if (working_.contains(record.name)) {
    row->setAttribute("class", "checked");
    row->setAttribute("titleid", "check-image");
  } else {
    row->removeAttribute("class");
    row->removeAttribute("titleid");
  }
}

void optionsEditor::selectRow(const zvOptionSpecRecord* record) {
  elementRef grid = byId(optionsGridId);
  if (!grid) return;
  for (elementRef& row : grid->selectAll("tr")) {
    bool it = record && equalsNoCase(row->attribute("key").value_or(""), record->name);
    std::uint32_t bit = stateCurrent;
    row->setStates(it ? bit : 0, it ? 0 : bit);
    if (it) row->scrollIntoView();
  }
}

std::optional<std::u16string> optionsEditor::readEditor() {
  if (!current_ || !current_->processor || !current_->processor->read) return std::nullopt;
  elementRef block = doc().byId(editorBlockId);
  if (!block) return std::nullopt;
  specHost::call call(*host_);
  constexpr std::size_t units = ZV_VALUE_BUFFER_BYTES / sizeof(uint16_t);
  std::vector<uint16_t> buffer(units, 0);
  std::size_t written = 0;
  zvOutput out{buffer.data(), ZV_VALUE_BUFFER_BYTES, current_, &written};
  if (!current_->processor->read(current_, &out, host_->table(), host_->handle(block.get())))
    return std::nullopt;
  std::size_t length = std::min(written, units - 1);
  auto end = std::find(buffer.begin(), buffer.begin() + std::ptrdiff_t(length), 0);
  return std::u16string(buffer.begin(), end);
}

void optionsEditor::showResult() {
  std::optional<std::u16string> value = readEditor();
  elementRef result = doc().byId(resultValueId);
  if (value && result && current_)
    result->setText(std::string(current_->name) + "=" + toUtf8(*value));
}

bool optionsEditor::commit() {
  if (!spec_ || !current_) return true;
  // Events queued before the box opened reach the window while it shows: they must not
  // commit again and stack a second box over the first.
  if (refusing_) return false;
  std::optional<std::u16string> value = readEditor();
  if (!readOnly() && value) {
    commitOutcome outcome =
        commitOptionValue(working_, target_.config, scope_, spec_, *current_, *value);
    if (outcome == commitOutcome::invalid) {
      // The grid has already moved to the clicked row: the refused option's comes back.
      selectRow(current_);
      refusing_ = true;
      showMessageBox(windows_, window_, invalidValueMessage, errorCaption, boxButtons::ok,
                     boxIcon::error);
      refusing_ = false;
      return false;
    }
    if (outcome != commitOutcome::unchanged) {
      listChanged_ = true;
      markRow(*current_);
    }
  }
  refreshButtons();
  return true;
}

void optionsEditor::rowClicked(element& row) {
  std::string key(row.attribute("key").value_or(""));
  const zvOptionSpecRecord* clicked = listedRecord(key);
  if (!clicked) {
    current_ = nullptr;
    return;
  }
  if (clicked == current_) return;
  if (!commit()) return;
  current_ = clicked;
  showCurrent();
}

void optionsEditor::deleteCurrent() {
  if (!current_ || readOnly()) return;
  working_.remove(current_->name);
  writeToConfig();
  markRow(*current_);
  listChanged_ = true;
  refreshButtons();
  showCurrent();
}

bool optionsEditor::copyDisplay(const std::string& key) {
  if (readOnly() || !current_ || !equalsNoCase(key, current_->name)) return false;
  if (!working_.set(current_->name, composeDisplayParameters(working_), spec_)) return false;
  writeToConfig();
  markRow(*current_);
  listChanged_ = true;
  listSaved_ = false;
  showCurrent();
  refreshButtons();
  return true;
}

void optionsEditor::editorEvent(uiEvent& e) {
  if (!current_ || !current_->processor || !current_->processor->event) return;
  uint32_t kind = e.kind == eventKind::buttonClick        ? ZV_EVENT_CLICK
                  : e.kind == eventKind::selectionChanged ? ZV_EVENT_SELECTION_CHANGED
                                                          : ZV_EVENT_VALUE_CHANGED;
  {
    specHost::call call(*host_);
    zvEvent event{kind, host_->handle(e.source.get())};
    current_->processor->event(current_, host_->table(), &event);
  }
  listChanged_ = true;
  refreshButtons();
  if (!readOnly()) showResult();
}

// ---- the free rows --------------------------------------------------------------------

void optionsEditor::nameEdited(element& input, std::size_t row) {
  listChanged_ = true;
  if (row >= working_.size()) return;
  std::string key = input.value();
  bool refused = !freeKeyAccepted(key, maxFreeKey);
  for (std::size_t i = 0; i < working_.size() && !refused; ++i)
    refused = i != row && equalsNoCase(working_.entries()[i].key, key);
  if (!refused) {
    optionList renamed(working_.kind());
    for (std::size_t i = 0; i < working_.size(); ++i) {
      const configOption& o = working_.entries()[i];
      if (!renamed.set(i == row ? key : o.key, o.value) && i == row) refused = true;
    }
    if (!refused) working_ = std::move(renamed);
  }
  markError(&input, refused);
  writeToConfig();
  refreshButtons();
}

void optionsEditor::valueEdited(element& input, std::size_t row) {
  listChanged_ = true;
  if (row >= working_.size()) return;
  elementRef name = doc().byId("editName" + std::to_string(row));
  if (name && name->value().empty()) {
    markError(name.get(), true);
  } else {
    std::u16string value = fromUtf8(input.value());
    bool ok = value.size() <= maxFreeValue && working_.set(working_.entries()[row].key, value);
    markError(&input, !ok);
    writeToConfig();
  }
  refreshButtons();
}

void optionsEditor::newRowEdited() {
  listChanged_ = true;
  elementRef name = byId("new_editName");
  elementRef value = byId("new_editValue");
  if (!name || !value) return;
  std::string key = name->value();
  if (key.empty()) {
    refreshButtons();
    return;
  }
  std::u16string text = fromUtf8(value->value());
  bool ok = freeKeyAccepted(key, maxNewFreeKey) && !working_.contains(key) &&
            text.size() <= maxFreeValue && working_.size() < maxListOptions &&
            working_.set(key, text);
  if (!ok) {
    markError(name.get(), true);
    refreshButtons();
    return;
  }
  writeToConfig();
  rebuild();
  if (elementRef added = doc().byId("editName" + std::to_string(working_.size() - 1)))
    added->focus();
}

void optionsEditor::deleteRow(std::size_t row) {
  if (row >= working_.size()) return;
  working_.remove(working_.entries()[row].key);
  writeToConfig();
  listChanged_ = true;
  rebuild();
}

bool optionsEditor::rowsValid() {
  if (spec_) return true;
  if (doc().selectAll(std::string("input.") + errorClass).empty()) return true;
  showMessageBox(windows_, window_, invalidRowsMessage, errorCaption, boxButtons::ok,
                 boxIcon::error);
  return false;
}

// ---- saving and closing ---------------------------------------------------------------

void optionsEditor::refreshButtons() {
  std::uint32_t bit = stateDisabled;
  for (const char* id : {applyButtonId, restoreButtonId}) {
    if (elementRef b = doc().byId(id)) b->setStates(listChanged_ ? 0 : bit, listChanged_ ? bit : 0);
  }
}

void optionsEditor::restoreList() {
  working_ = saved_;
  writeToConfig();
  listChanged_ = false;
  rebuild();
}

bool optionsEditor::askToSave(bool forced) {
  std::vector<std::string> macs;
  bool library = target_.fileKind == optionsOfTemplate || target_.fileKind == optionsOfConnection;
  if (library && !target_.config && hooks_.affectedTerminals)
    macs = hooks_.affectedTerminals(target_.fileKind, target_.title);
  if (!macs.empty() || forced) {
    boxAnswer answer = showMessageBox(windows_, window_, saveQuestion(target_.title, macs),
                                      warningCaption, boxButtons::yesNoCancel, boxIcon::question);
    if (answer == boxAnswer::yes) {
      listChanged_ = false;
      listSaved_ = true;
    } else if (answer == boxAnswer::no) {
      restoreList();
    } else {
      return false;
    }
  }
  writeToConfig();
  return true;
}

// Enter, the close command and "Закрыть": the value in the editor, the rows, the question.
bool optionsEditor::prepareClose() {
  if (!commit() || !rowsValid()) return false;
  return !listChanged_ || askToSave(true);
}

void optionsEditor::apply() {
  if (!commit() || !rowsValid() || !listChanged_) return;
  if (!askToSave(false)) return;
  listSaved_ = true;
  listChanged_ = false;
  saved_ = working_;
  refreshButtons();
}

void optionsEditor::versionChanged() {
  const versionSpec* chosen = spec_;
  std::string key = current_ ? current_->name : "";
  if (!commit()) return;
  if (!readVersionSelector(windows_, window_, versions_, chosen)) {
    // The selector goes back to the version still in use.
    showVersionChoice(doc(), spec_);
    return;
  }
  if (chosen == spec_) return;
  if (chosen && checkCompatibility(chosen, window_) == versionFit::cancelled) {
    windows_.endModal(window_, 0);
    return;
  }
  if (target_.config && hooks_.versionChosen) hooks_.versionChosen(chosen);
  spec_ = chosen;
  current_ = nullptr;
  if (spec_) {
    current_ = listedRecord(key);
    if (!current_) current_ = firstRecord();
  } else {
    freeKey_ = key;
  }
  rebuild();
}

bool optionsEditor::handle(uiEvent& e) {
  std::string button = buttonOf(e);
  std::string source = idOf(e.source);
  if (e.kind == eventKind::tableRowClick && e.target && source == optionsGridId) {
    rowClicked(*e.target);
  } else if (isEnter(e)) {
    if (prepareClose()) {
      // A read-only window saves nothing.
      if (!readOnly()) listSaved_ = true;
      windows_.endModal(window_, 0);
    }
  } else if (isEscape(e)) {
    restoreList();
    windows_.endModal(window_, 0);
  } else if (button == cancelButtonId) {
    if (prepareClose() && !readOnly()) listSaved_ = true;
    windows_.endModal(window_, 0);
  } else {
    return !readOnly() && handleEdit(e, button, source);
  }
  return true;
}

// The events that change the list: not in a read-only window.
bool optionsEditor::handleEdit(uiEvent& e, const std::string& button, const std::string& source) {
  if (button == applyButtonId) {
    apply();
  } else if (button == restoreButtonId) {
    restoreList();
  } else if (button == deleteButtonId) {
    deleteCurrent();
  } else if (e.kind == eventKind::selectionChanged && source == versionSelectId) {
    versionChanged();
  } else if (e.source && e.source->hasAttribute("handleEvent") &&
             (e.kind == eventKind::buttonClick || e.kind == eventKind::selectionChanged ||
              e.kind == eventKind::editValueChanged)) {
    editorEvent(e);
  } else if (!spec_ && e.kind == eventKind::editValueChanged && e.source) {
    if (auto row = rowNumber(source, "editName"))
      nameEdited(*e.source, *row);
    else if (auto row = rowNumber(source, "editValue"))
      valueEdited(*e.source, *row);
    else if (source == "new_editName" || source == "new_editValue")
      newRowEdited();
    else
      return false;
  } else if (!spec_ && !button.empty()) {
    auto row = rowNumber(button, "editDelete");
    if (!row) return false;
    deleteRow(*row);
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool showOptionsEditor(windowHost& windows, windowId owner, const installedVersions& versions,
                       optionsEditorTarget& target, const versionSpec* spec,
                       const std::string& initialKey, const optionsEditorHooks& hooks) {
  if (!spec || !target.list) {
    ZV_REPORT("options editor opened without %s", spec ? "a list" : "a specification");
    ZV_INTERNAL_ERROR();
    return false;
  }
  optionsEditor editor(windows, owner, versions, target, hooks);
  return editor.run(spec, initialKey);
}

bool showFreeOptionsEditor(windowHost& windows, windowId owner, const installedVersions& versions,
                           optionsEditorTarget& target, const std::string& initialKey,
                           const optionsEditorHooks& hooks) {
  if (!target.list) {
    ZV_REPORT("options editor opened without a list");
    ZV_INTERNAL_ERROR();
    return false;
  }
  optionsEditor editor(windows, owner, versions, target, hooks);
  return editor.run(nullptr, initialKey);
}

}  // namespace zv
