#pragma once
// The configuration panels of the current terminal on the right of the main window:
// which tabs it gets ("panel-templates" … "panel-noConfig"), the no-configuration panel,
// the templates panel (the options in effect, the terminal's templates, the trash and
// the library), the text panel, and the save, restore and leave logic the panels share.
//
// The panels edit the terminal's configuration in the register directly (the live
// configuration); a copy taken when the terminal became current and after every save is
// the restore point. Change flags record unsaved edits and enable the save and restore
// buttons; the leave check offers them for saving before the terminal or its page is
// left. A configuration file changed on disk by another program since it was read is
// only overwritten after the user says so.
//
// Dialogs (the options editor, the file-name dialog) and the main window's tab strip
// are reached through hooks, so the panels run the same under the console and in tests.
// Message boxes go through the console's messageBox.
//
// User-interface thread only: it owns the document, the register and the libraries.

#include "common/GUIConfigFile.h"
#include "htmlview/dom.h"
#include "htmlview/events.h"
#include "zvc/editor/libraryCommands.h"
#include "zvc/editor/optionsEditor.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

class installedVersions;
class terminalRegister;
struct terminal;

// The tabs in the order of the panel set.
enum class configPanel : int {
  templates = 0,
  video = 1,
  workplace1 = 2,
  workplace2 = 3,
  text = 4,
  dhcp = 5,
  logs = 6,
  noConfig = 7,
};
inline constexpr std::array<const char*, 8> configPanelNames = {
    "panel-templates", "panel-video", "panel-workplace1", "panel-workplace2",
    "panel-text",      "panel-dhcp",  "panel-logs",       "panel-noConfig"};
std::optional<configPanel> configPanelNamed(std::string_view name);

// "Невозможно сохранить файл <name>. Убедитесь, …" is saveFailureText (libraryCommands.h).
constexpr const char* changedOutsideQuestion =
    "Конфигурационный файл терминала %s был изменен извне. Сохранить все равно?";
constexpr const char* tooLongTextMessage =
    "Текст конфигурационного файла длиннее 16383 символов и не может быть сохранен.";

// Element ids of the templates panel.
namespace configPanelIds {
inline constexpr const char* optionsWidget = "terminals_templates_options";
inline constexpr const char* templatesList = "templates_list";
inline constexpr const char* libraryList = "templates";
}  // namespace configPanelIds

// The value of an element's attribute; empty without the element or the attribute.
std::string attributeText(const element* e, std::string_view name);

// The markup of the panels, for the frame and for tests.
std::string noConfigPanelHtml(const std::string& macText);
std::string textPanelHtml();
std::string templatesPanelHtml();
// The entries of "terminals_templates_options": the options in effect with their sources.
std::string optionsInEffectHtml(const GUIConfigFile& config, const versionSpec* spec);
// The items of "ul#templates_list".
std::string terminalTemplatesHtml(const GUIConfigFile& config, const versionSpec* spec);

struct configPanelsHooks {
  // The options editor (free text when `spec` is null); true when it reports a change.
  std::function<bool(optionsEditorTarget& target, const versionSpec* spec,
                     const std::string& initialKey)>
      editOptions;
  // The file-name dialog; the chosen name, empty when cancelled.
  std::function<std::string(libraryKind, const std::string& proposed)> askFileName;
  // Makes the tab of the panel current in "main_tabs".
  std::function<void(std::string_view panel)> selectTab;
  // The terminal's row in the list shows it again (version, configuration mark).
  std::function<void(terminal&)> terminalChanged;
  // Posts a panel message (WM_APP + 2 … + 9) to the main window; empty: handled at once.
  std::function<void(unsigned message)> post;
  // The terminal's DHCP panel: whether it holds unsaved edits, its save (false: failed)
  // and its restore. Empty: there is no such panel.
  std::function<bool()> dhcpMarked;
  std::function<bool()> saveDhcp;
  std::function<void()> restoreDhcp;
};

class configPanels {
 public:
  configPanels(terminalRegister& terminals, configLibraries& libraries,
               const installedVersions& versions, configPanelsHooks hooks);
  ~configPanels();
  configPanels(const configPanels&) = delete;
  configPanels& operator=(const configPanels&) = delete;

  // The main frame was built (again) in terminals mode: the panels' skeletons go into
  // it, and the current terminal, if any, is shown in them.
  void frameBuilt(document& doc);
  // The frame left terminals mode: nothing is shown until the next frameBuilt.
  void frameLeft() { doc_ = nullptr; }

  // A terminal became current (nullptr: none): the change flags are cleared, the restore
  // point taken and the panels filled.
  void showTerminal(terminal* t);
  terminal* current() const { return current_; }
  void showTerminalPanels();

  // The leave check: unsaved changes are offered for saving (Yes), dropped (No) or kept
  // (Cancel). True when the terminal may be left.
  bool confirmLeaveTerminal();
  // True when a command that leaves the terminal or its page must not run.
  bool leaveBlocked();
  bool leaveCheckRunning() const { return leaveCheckRunning_; }
  bool hasUnsavedChanges() const;

  // A tab of "main_tabs" became current.
  void selectPanel(element& tab);
  // The version selector "options_version" below the tabs.
  void showTerminalVersion();
  void changeTerminalVersion();

  // The commands of the panels, by button or menu item id; the event's source is the
  // item. False for an id the panels do not handle.
  static const std::vector<std::string>& commandIds();
  bool runCommand(const std::string& id, uiEvent& e);
  // The text of "textConfig" was edited.
  void textEdited();
  // Mouse events over the panels: drops, context menus, double clicks. True when taken.
  bool mouse(uiEvent& e);
  // A panel message posted earlier (WM_APP + 2 … + 9).
  void panelMessage(unsigned message);

  // The operations behind the buttons.
  bool saveTerminalConfig();
  bool restoreTerminalConfig();
  bool testTextConfig(bool tellSuccess);
  bool saveTextConfig();
  void restoreTextConfig();
  bool createConfig();
  bool changedOutsideCheck();

  // Change flags.
  bool dhcpChanged() const { return hooks_.dhcpMarked && hooks_.dhcpMarked(); }
  bool configChanged() const { return configFlag_; }
  bool textChanged() const { return textFlag_; }

 private:
  void setPanelSet(int state, bool withVideo);
  void fillTemplatesPanel();
  void fillTextPanel();
  void fillNoConfigPanel();
  void setConfigFlag(bool on);
  void setTextFlag(bool on);
  void clearFlags();
  void setButton(std::string_view id, bool enabled);
  std::string selectedPanelName() const;
  void showTab(std::string_view panel, bool shown);
  void selectTab(std::string_view panel);
  void rebuildTemplatesFromList();
  void templatesChanged();
  bool editGeneralOptions(const std::string& initialKey);
  void showTemplate(const std::string& name);
  bool reloadFromDisk();
  void postOrRun(unsigned message);
  libraryUi libraryHooks();
  terminalRegisterHooks registerHooks();
  std::string currentOptionKey() const;
  std::string itemFile(const uiEvent& e, std::string_view listId) const;
  const versionSpec* librarySpec() const;
  std::string macText() const;
  std::string configPath() const;

  terminalRegister& terminals_;
  configLibraries& libraries_;
  const installedVersions& versions_;
  configPanelsHooks hooks_;
  document* doc_ = nullptr;
  terminal* current_ = nullptr;
  std::optional<GUIConfigFile> restorePoint_;
  bool configFlag_ = false;
  bool textFlag_ = false;
  bool leaveCheckRunning_ = false;
  elementRef contextItem_;            // the item a context menu was opened on
  std::string pendingLibraryDelete_;  // the template a drop on the trash deletes
};

}  // namespace zv
