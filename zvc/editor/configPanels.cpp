#include "zvc/editor/configPanels.h"

#include "common/errorCFHandler.h"
#include "common/installPaths.h"
#include "common/misc3.h"
#include "htmlview/rows.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "platform/windowMessages.h"
#include "zvc/editor/configEdits.h"
#include "zvc/editor/configText.h"
#include "zvc/editor/libraryItems.h"
#include "zvc/register/terminalForms.h"
#include "zvc/register/terminals.h"
#include "zvc/register/versions.h"
#include "zvc/ui/messageBox.h"

#include <algorithm>
#include <cstring>

namespace zv {
namespace {

constexpr const char* configName = "config.zvc";
using namespace configPanelIds;
constexpr const char* leaveQuestionHead = "Конфигурационный файл терминала ";
constexpr const char* leaveQuestionTail =
    " изменен. Сохранить (YES) или отменить (NO) сделанные изменения?";

// The platforms without a video panel.
bool showsVideo(const terminal& t) {
  return t.platform != platformPi2B && t.platform != platformPi64bit;
}

// The text in the panel with the line ends of a configuration file: the browser's text
// areas hand back LF alone, the files and their readers use CR LF.
std::u16string panelText(const element& e) {
  std::u16string typed = fromUtf8(e.value());
  std::u16string text;
  text.reserve(typed.size() + typed.size() / 16);
  for (std::size_t i = 0; i < typed.size(); ++i) {
    char16_t c = typed[i];
    if (c == u'\r' || c == u'\n') {
      text += u"\r\n";
      if (c == u'\r' && i + 1 < typed.size() && typed[i + 1] == u'\n') ++i;
    } else {
      text += c;
    }
  }
  return text;
}

void showSaveFailure(std::string_view name) {
  messageBox(toUtf8(saveFailureText(name)), errorCaption, boxButtons::ok, boxIcon::error);
}

}  // namespace

std::optional<configPanel> configPanelNamed(std::string_view name) {
  for (std::size_t i = 0; i < configPanelNames.size(); ++i)
    if (name == configPanelNames[i]) return configPanel(int(i));
  return std::nullopt;
}

configPanels::configPanels(terminalRegister& terminals, configLibraries& libraries,
                           const installedVersions& versions, configPanelsHooks hooks)
    : terminals_(terminals), libraries_(libraries), versions_(versions), hooks_(std::move(hooks)) {}

configPanels::~configPanels() = default;

const std::vector<std::string>& configPanels::commandIds() {
  static const std::vector<std::string> ids = {"create_config",
                                               "save_config",
                                               "restore_config",
                                               "save_screens_config",
                                               "restore_screens_config",
                                               "test_textconfig",
                                               "save_textconfig",
                                               "restore_textconfig",
                                               "add_option",
                                               "terminals_options_new",
                                               "terminals_options_edit",
                                               "terminals_options_remove",
                                               "menuTmplt",
                                               "templates_source_add",
                                               "templates_target_show",
                                               "templates_target_delete",
                                               "templates_source_new",
                                               "templates_source_edit",
                                               "templates_source_copy",
                                               "templates_source_remove"};
  return ids;
}

// ---- frame and panel set ---------------------------------------------------------------

void configPanels::frameBuilt(document& doc) {
  doc_ = &doc;
  auto fill = [&](configPanel p, const std::string& html) {
    if (elementRef panel = doc.byId(configPanelNames[int(p)])) panel->setInnerHtml(html);
  };
  fill(configPanel::templates, templatesPanelHtml());
  fill(configPanel::text, textPanelHtml());
  fill(configPanel::noConfig, noConfigPanelHtml(""));
  clearFlags();
  if (current_) showTerminalPanels();
}

std::string configPanels::selectedPanelName() const {
  if (!doc_) return {};
  elementRef tabs = doc_->byId("main_tabs");
  elementRef tab = tabs ? tabs->selectFirst(":root>.strip>[panel][selected]") : elementRef();
  return tab ? std::string(tab->attribute("panel").value_or("")) : std::string();
}

void configPanels::showTab(std::string_view panel, bool shown) {
  if (!doc_) return;
  elementRef tabs = doc_->byId("main_tabs");
  if (!tabs) return;
  for (elementRef& tab : tabs->selectAll(":root>.strip>[panel]"))
    if (tab->attribute("panel") == panel) tab->setVisible(shown);
}

void configPanels::selectTab(std::string_view panel) {
  if (hooks_.selectTab) hooks_.selectTab(panel);
}

void configPanels::setPanelSet(int state, bool withVideo) {
  using enum configPanel;
  std::string selected = selectedPanelName();
  std::optional<configPanel> was = configPanelNamed(selected);
  auto isConfigPanel = [](configPanel p) {
    return p == templates || p == video || p == workplace1 || p == workplace2 || p == text;
  };
  auto name = [](configPanel p) { return configPanelNames[int(p)]; };
  if (state == 0) {
    for (configPanel p : {templates, video, workplace1, workplace2, text}) showTab(name(p), false);
    showTab(name(noConfig), true);
    if (was && isConfigPanel(*was)) selectTab(name(noConfig));
    return;
  }
  showTab(name(noConfig), false);
  if (state == 2) {
    for (configPanel p : {templates, video, workplace1, workplace2}) showTab(name(p), false);
    showTab(name(text), true);
    selectTab(name(text));
    return;
  }
  bool templatesWasHidden = false;
  if (doc_) {
    if (elementRef tabs = doc_->byId("main_tabs"))
      for (elementRef& tab : tabs->selectAll(":root>.strip>[panel]"))
        if (tab->attribute("panel") == name(templates)) templatesWasHidden = !tab->isVisible();
  }
  showTab(name(templates), true);
  showTab(name(workplace1), true);
  showTab(name(text), true);
  showTab(name(video), withVideo);
  // The second monitor's panel belongs to the screens editor; until it is shown there it
  // stays hidden.
  showTab(name(workplace2), false);
  if (was == logs) return;
  if (templatesWasHidden || was == noConfig || (was == video && !withVideo) || was == workplace2)
    selectTab(name(templates));
}

void configPanels::showTerminalPanels() {
  if (!current_ || !doc_) return;
  int state = configStatus(*current_);
  setPanelSet(state, showsVideo(*current_));
  if (state == 1) {
    fillTemplatesPanel();
    fillTextPanel();
  } else if (state == 0) {
    fillNoConfigPanel();
  } else {
    fillTextPanel();
  }
  showTerminalVersion();
}

void configPanels::fillNoConfigPanel() {
  if (!doc_) return;
  std::string mac = macText();
  for (const char* id : {"mac1", "mac2"})
    if (elementRef e = doc_->byId(id)) e->setText(mac);
}

void configPanels::fillTemplatesPanel() {
  if (!doc_ || !current_) return;
  const versionSpec* spec = current_->spec;
  if (elementRef options = doc_->byId(optionsWidget)) {
    std::string keep = currentOptionKey();
    options->setInnerHtml(optionsInEffectHtml(current_->config, spec));
    // The option that was current stays current, else the first one.
    elementRef current;
    for (std::size_t i = 0; i < options->childCount(); ++i)
      if (attributeText(options->child(i), "id") == keep) current = elementRef(options->child(i));
    if (!current && options->childCount() > 0) current = elementRef(options->child(0));
    if (current) current->setStates(stateCurrent, 0);
  }
  if (elementRef list = doc_->byId(templatesList))
    list->setInnerHtml(terminalTemplatesHtml(current_->config, spec));
  if (elementRef library = doc_->byId(libraryList))
    library->setInnerHtml(templateLibraryHtml(libraries_, librarySpec()));
  if (elementRef menu = doc_->byId("add_template2terminal"))
    menu->setInnerHtml(templateMenuHtml(libraries_));
  setButton("save_config", configFlag_);
  setButton("restore_config", configFlag_);
}

void configPanels::fillTextPanel() {
  if (!doc_ || !current_) return;
  elementRef text = doc_->byId("textConfig");
  if (!text) return;
  std::string directory = existingTerminalDirectory(current_->mac);
  int state = configStatus(*current_);
  std::u16string content;
  if (state != 0 && !directory.empty()) {
    std::string path = directory + configName + (state == 2 ? ".broken" : "");
    if (!readWholeTextFile(path, content)) {
      content.clear();
      ZV_INTERNAL_ERROR();
    }
  }
  text->setValue(toUtf8(content));
  setTextFlag(false);
}

// ---- flags and buttons -------------------------------------------------------------------

void configPanels::setButton(std::string_view id, bool enabled) {
  if (!doc_) return;
  if (elementRef e = doc_->byId(id)) switchStates(*e, stateDisabled, !enabled);
}

void configPanels::setConfigFlag(bool on) {
  configFlag_ = on;
  setButton("save_config", on);
  setButton("restore_config", on);
}

void configPanels::setTextFlag(bool on) {
  textFlag_ = on;
  setButton("save_textconfig", on);
  setButton("restore_textconfig", on);
}

void configPanels::clearFlags() {
  setConfigFlag(false);
  setTextFlag(false);
}

bool configPanels::hasUnsavedChanges() const {
  return configFlag_ || textFlag_ || dhcpChanged();
}

void configPanels::textEdited() {
  if (current_) setTextFlag(true);
}

// ---- the current terminal ----------------------------------------------------------------

void configPanels::showTerminal(terminal* t) {
  current_ = t;
  contextItem_ = {};
  clearFlags();
  if (t) {
    restorePoint_.emplace(t->config);
    showTerminalPanels();
  } else {
    restorePoint_.reset();
  }
}

std::string configPanels::macText() const {
  return current_ ? toUtf8(current_->mac.displayText()) : std::string();
}

std::string configPanels::configPath() const {
  std::string directory = current_ ? terminalDirectory(current_->mac) : std::string();
  return directory.empty() ? std::string() : directory + configName;
}

bool configPanels::changedOutsideCheck() {
  if (!current_) return false;
  std::string directory = existingTerminalDirectory(current_->mac);
  if (directory.empty()) return true;
  std::string path = directory + configName;
  if (!fileExists(path)) return true;
  if (int error = openForWritingError(path)) {
    logMessage("Unable to open %s. Error %d (0x%x).", path.c_str(), error, unsigned(error));
    return false;
  }
  std::optional<std::chrono::system_clock::time_point> written = modificationTime(path);
  if (written && *written > current_->configTime) {
    std::string mac = macText();
    std::string question = changedOutsideQuestion;
    question.replace(question.find("%s"), 2, mac);
    return messageBox(question, errorCaption, boxButtons::yesNo, boxIcon::warning) ==
           boxAnswer::yes;
  }
  return true;
}

bool configPanels::reloadFromDisk() {
  if (!current_) return false;
  std::string directory = existingTerminalDirectory(current_->mac);
  GUIConfigFile fresh(libraries_);
  std::u16string failure;
  if (directory.empty() || !fresh.read(directory + configName, current_->spec, failure))
    return false;
  current_->config = std::move(fresh);
  current_->configTime = std::chrono::system_clock::now();
  return true;
}

bool configPanels::saveTerminalConfig() {
  if (!current_) return false;
  current_->config.normalizeScreens();
  if (!changedOutsideCheck()) return false;
  if (!saveConfiguration(*current_)) {
    showSaveFailure(configName);
    // What the panels show must be what is on disk again.
    reloadFromDisk();
    showTerminalPanels();
    return false;
  }
  restorePoint_.emplace(current_->config);
  current_->storeVersion();
  clearFlags();
  showTerminalPanels();
  if (hooks_.terminalChanged) hooks_.terminalChanged(*current_);
  return true;
}

bool configPanels::restoreTerminalConfig() {
  if (!current_ || !restorePoint_) return false;
  current_->config = *restorePoint_;
  current_->config.normalizeScreens();
  bool ok = true;
  if (configStatus(*current_) == 1) {
    if (!changedOutsideCheck()) {
      ok = false;
    } else if (!saveConfiguration(*current_)) {
      showSaveFailure(configName);
      reloadFromDisk();
      ok = false;
    }
  }
  clearFlags();
  showTerminalPanels();
  return ok;
}

bool configPanels::createConfig() {
  if (!current_) return false;
  current_->config.normalizeScreens();
  if (!saveConfiguration(*current_)) {
    showSaveFailure(configName);
    return false;
  }
  restorePoint_.emplace(current_->config);
  clearFlags();
  showTerminalPanels();
  if (hooks_.terminalChanged) hooks_.terminalChanged(*current_);
  return true;
}

// ---- the text panel ----------------------------------------------------------------------

bool configPanels::testTextConfig(bool tellSuccess) {
  if (!current_ || !doc_) return false;
  elementRef panel = doc_->byId("textConfig");
  if (!panel) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  std::u16string text = panelText(*panel);
  // A longer text would be cut when the file is read back.
  if (text.size() > maxWholeText) {
    messageBox(tooLongTextMessage, errorCaption, boxButtons::ok, boxIcon::error);
    return false;
  }
  textCheck check = checkConfigText(text, libraries_, current_->spec);
  if (!check.written) {
    showSaveFailure("1.zvc");
    return false;
  }
  if (!check.loads) {
    messageBox(brokenTextMessage, errorCaption, boxButtons::ok, boxIcon::error);
    // The panel shows what the set-aside copy would hold: the reason, then the text.
    panel->setValue(toUtf8(reasonComment(check.reason) + text));
    return false;
  }
  if (!check.compatible) {
    messageBox(incompatibleTextMessage, warningCaption, boxButtons::ok, boxIcon::warning);
  } else if (tellSuccess) {
    messageBox(textCheckedMessage, "Zelvar", boxButtons::ok, boxIcon::information);
  }
  return true;
}

bool configPanels::saveTextConfig() {
  if (!current_ || !doc_) return false;
  if (!testTextConfig(false)) return false;
  if (!changedOutsideCheck()) return false;
  elementRef panel = doc_->byId("textConfig");
  if (!panel) return false;
  std::u16string text = panelText(*panel);
  std::string path = configPath();
  if (path.empty() || !writeFileAtomically(path, configTextBytes(text))) {
    showSaveFailure(configName);
    return false;
  }
  GUIConfigFile loaded(libraries_);
  std::u16string failure;
  if (!loaded.read(path, current_->spec, failure)) {
    // The check read the same bytes; a difference now is the disk's.
    ZV_INTERNAL_ERROR();
    showSaveFailure(configName);
    return false;
  }
  current_->config = std::move(loaded);
  current_->configTime = std::chrono::system_clock::now();
  current_->configError.clear();
  restorePoint_.emplace(current_->config);
  if (!removeIfPresent(path + ".broken")) ZV_INTERNAL_ERROR();
  clearFlags();
  showTerminalPanels();
  if (hooks_.terminalChanged) hooks_.terminalChanged(*current_);
  return true;
}

void configPanels::restoreTextConfig() {
  fillTextPanel();
}

// ---- leaving -----------------------------------------------------------------------------

bool configPanels::confirmLeaveTerminal() {
  if (!current_) return true;
  leaveCheckRunning_ = true;
  struct reset {
    bool& flag;
    ~reset() { flag = false; }
  } done{leaveCheckRunning_};
  if (!hasUnsavedChanges()) return true;
  std::string question = leaveQuestionHead + macText() + leaveQuestionTail;
  boxAnswer answer =
      messageBox(question, warningCaption, boxButtons::yesNoCancel, boxIcon::warning);
  if (answer == boxAnswer::yes) {
    if (dhcpChanged() && !(hooks_.saveDhcp && hooks_.saveDhcp())) return false;
    if (textFlag_ && !saveTextConfig()) return false;
    if (configFlag_ && !saveTerminalConfig()) return false;
  } else if (answer == boxAnswer::no) {
    // Only what holds edits goes back: a configuration without edits is not rewritten.
    if (configFlag_ || textFlag_) restoreTerminalConfig();
    if (dhcpChanged() && hooks_.restoreDhcp) hooks_.restoreDhcp();
  }
  return !hasUnsavedChanges();
}

bool configPanels::leaveBlocked() {
  if (!current_ || !hasUnsavedChanges()) return false;
  return !confirmLeaveTerminal();
}

void configPanels::selectPanel(element& tab) {
  std::optional<configPanel> chosen = configPanelNamed(tab.attribute("panel").value_or(""));
  if (!chosen || !current_) return;
  std::optional<configPanel> unsaved;
  if (textFlag_) {
    unsaved = configPanel::text;
  } else if (dhcpChanged()) {
    unsaved = configPanel::dhcp;
  } else if (configFlag_) {
    unsaved = configPanel::templates;
  }
  if (!unsaved || *unsaved == *chosen) return;
  if (!confirmLeaveTerminal()) selectTab(configPanelNames[int(*unsaved)]);
}

// ---- the version selector ----------------------------------------------------------------

void configPanels::showTerminalVersion() {
  if (!current_ || !doc_) return;
  constexpr std::string_view bundledVersion = "6.2.63";
  if (current_->mac.isPseudo() && current_->version != bundledVersion) {
    current_->version = std::string(bundledVersion);
    current_->spec = versions_.findVersionSpec(current_->version);
    current_->storeVersion();
  }
  elementRef select = doc_->selectFirst("select#options_version");
  if (!select) {
    ZV_INTERNAL_ERROR();
    return;
  }
  std::string wanted = current_->spec ? current_->spec->name : std::string("noversion");
  for (elementRef& option : select->selectAll("option")) {
    bool chosen = option->attribute("value") == wanted;
    switchStates(*option, stateCurrent | stateChecked, chosen);
    if (chosen)
      option->setAttribute("selected", "");
    else
      option->removeAttribute("selected");
  }
  select->setValue(wanted);
}

void configPanels::changeTerminalVersion() {
  if (!current_ || !doc_) return;
  elementRef select = doc_->selectFirst("select#options_version");
  if (!select) {
    ZV_INTERNAL_ERROR();
    return;
  }
  std::string value = select->value();
  std::u16string caption;
  for (elementRef& option : select->selectAll("option"))
    if (option->attribute("value") == value) caption = option->textU16();
  const versionSpec* spec = nullptr;
  formBox box = [](const std::string& text, const std::string& title, boxButtons buttons) {
    return messageBox(text, title, buttons, boxIcon::warning);
  };
  if (!readVersionChoice(versions_, caption, spec, box)) spec = nullptr;
  // The list closed on the version the terminal has: nothing to do.
  if (spec == current_->spec && (spec || current_->version.empty())) return;
  current_->spec = spec;
  if (spec) {
    current_->version = spec->name;
    current_->storeVersion();
  } else {
    current_->clearVersion();
  }
  std::string selected = selectedPanelName();
  showTerminalPanels();
  if (hooks_.terminalChanged) hooks_.terminalChanged(*current_);
  if (selected == configPanelNames[int(configPanel::text)]) testTextConfig(false);
}

std::string attributeText(const element* e, std::string_view name) {
  return e ? std::string(e->attribute(name).value_or("")) : std::string();
}

}  // namespace zv
