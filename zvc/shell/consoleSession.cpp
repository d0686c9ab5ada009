#include "zvc/shell/consoleSession.h"

#include "htmlview/eventRouter.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"
#include "platform/windowMessages.h"
#include "zvc/editor/fileNameDialog.h"
#include "zvc/editor/versionDialogs.h"
#include "zvc/register/consoleState.h"
#include "zvc/register/terminalDialogs.h"
#include "zvc/register/versions.h"
#include "zvc/services/dhcpOptionsDialog.h"
#include "zvc/ui/messageBox.h"

#include <algorithm>
#include <string>

namespace zv {

void reloadTerminalRecord(terminal& t, const installedVersions& versions) {
  t.loadIdentity();
  loadHidden(t);
  t.spec = versions.findVersionSpec(t.version);
  loadComment(t);
  loadWolPort(t);
}

consoleSession::consoleSession(windowHost& windows, eventLoop& loop, consoleState& state,
                               registryStore& userStore, std::string skinDirectory)
    : windows_(windows), loop_(loop), state_(state), userStore_(userStore) {
  settings_ = loadSettings(userStore_);
  computeColumns(settings_);

  panels_ = std::make_unique<configPanels>(state_.terminals, state_.libraries, state_.versions,
                                           panelHooks());
  makeDhcpPanel();
  mainWindowHooks hooks;
  hooks.edit = [this](uiEvent& e) {
    if (dhcpPanel_) dhcpPanel_->handleEvent(e);
  };
  hooks.mayLeaveTerminal = [this] { return panels_->confirmLeaveTerminal(); };
  hooks.mouse = [this](uiEvent& e) {
    if (!panels_->mouse(e) && dhcpPanel_) dhcpPanel_->handleEvent(e);
  };
  hooks.panelMessage = [this](unsigned message) { panels_->panelMessage(message); };
  hooks.frameBuilt = [this](consoleMode mode, document& doc) { frameBuilt(mode, doc); };
  hooks.onlineMarking = [this] { return settings_.showOnline; };
  hooks.lastSeenShown = [this] { return settings_.showTime; };
  hooks.onlineTick = [this] {
    if (list_) list_->onlineTick();
  };
  hooks.refreshLastSeen = [this] {
    if (list_) list_->refreshLastSeen();
  };
  hooks.terminalChanged = [this](const macAddress& mac) { terminalChanged(mac); };
  hooks.saveSettings = [this] { saveSettingsNow(); };
  hooks.listContext = [this](element& target) { return !list_ || list_->onRowContext(target); };
  // A width the user dragged the left column to is kept for the next start.
  hooks.resized = [this](uiEvent& e) {
    if (e.target && e.target->attribute("id") == "col_table")
      settings_.columnWidth = clampColumnWidth(uint32_t(std::max(e.x, 0)));
  };
  main_ = std::make_unique<mainWindow>(windows_, loop_, state_.versions, std::move(skinDirectory),
                                       std::move(hooks));
  wireCommands();
}

consoleSession::~consoleSession() {
  // The main window's hooks call into the list and the panels: the window goes first.
  main_.reset();
  list_.reset();
  panels_.reset();
  dhcpPanel_.reset();
  state_.terminals.offerToList = nullptr;
}

bool consoleSession::open(const mainWindowOpener& opener) {
  windowId window = opener(main_->buildDocument(), mainWindowPlacement(settings_, {}));
  if (window == 0) return false;
  main_->attach(window);
  if (dhcpPanel_) dhcpPanel_->setMainWindow(window);
  return true;
}

bool consoleSession::saveSettingsNow() {
  screenRect window = settings_.window();
  if (std::optional<windowGeometry> g = windows_.mainGeometry()) {
    window = {g->x, g->y, g->width, g->height};
    // Kept on the screen the browser reported, so that the next start opens it there.
    if (g->screenWidth > 0 && g->screenHeight > 0) {
      const screenRect screen[] = {{0, 0, g->screenWidth, g->screenHeight}};
      window = placeOnMonitors(window, screen);
    }
  }
  return saveSettings(userStore_, settings_, window);
}

void consoleSession::frameBuilt(consoleMode mode, document& doc) {
  if (mode == consoleMode::terminals) {
    panels_->frameBuilt(doc);
    if (dhcpPanel_) dhcpPanel_->frameBuilt(doc, main_ ? main_->window() : 0);
  } else {
    panels_->frameLeft();
    if (dhcpPanel_) dhcpPanel_->frameLeft();
  }
  // The left column is sized by its content unless the user dragged it wider or narrower.
  if (elementRef column = doc.byId("col_table"); column && settings_.columnWidth > 0)
    column->setStyle("width", std::to_string(settings_.columnWidth) + "px");
  if (!list_) {
    terminalsListHooks hooks;
    hooks.reloadTerminal = [this](terminal& t) { reloadTerminalRecord(t, state_.versions); };
    hooks.groupName = state_.groups.nameLookup();
    hooks.setClipboard = [this](const std::string& text) { windows_.setClipboard(text); };
    hooks.selectPanel = [this](std::string_view panel) { selectPanel(panel); };
    hooks.mayLeave = [this] { return panels_->confirmLeaveTerminal(); };
    hooks.showTerminal = [this](terminal* t) {
      panels_->showTerminal(t);
      if (dhcpPanel_) dhcpPanel_->showTerminal(t);
    };
    list_ = std::make_unique<terminalsList>(doc, state_.terminals, settings_, std::move(hooks));
    list_->rebuildDisplayedList();
    state_.terminals.offerToList = [this](terminal& t) { list_->offerTerminal(t); };
  }
  list_->setTerminalsMode(mode == consoleMode::terminals);
  if (mode != consoleMode::terminals) return;
  list_->rebuildRows();
  list_->rebuildMenu();
}

terminalDialogHooks consoleSession::dialogHooks() {
  terminalDialogHooks hooks;
  hooks.insertRow = [this](terminal& t) {
    if (list_) list_->insertRow(t);
  };
  // The new or found terminal becomes current as a click on its row makes it.
  hooks.makeCurrent = [this](terminal& t) {
    if (list_) list_->makeCurrent(t);
  };
  return hooks;
}

void consoleSession::selectPanel(std::string_view panel) {
  document* doc = main_ ? main_->doc() : nullptr;
  eventRouter* router = main_ ? windows_.router(main_->window()) : nullptr;
  elementRef tabs = doc ? doc->byId("main_tabs") : elementRef();
  if (!tabs) return;
  if (!router) {
    // The window is not open yet: the tab set reads the selected tab when it attaches.
    for (elementRef& e : tabs->selectAll(":root>.strip>[panel], :root>[name]")) {
      bool chosen = e->attribute("panel") == panel || e->attribute("name") == panel;
      if (chosen) {
        e->setAttribute("selected", "");
      } else {
        e->removeAttribute("selected");
      }
    }
    return;
  }
  methodCall call = methodCall::named("select", std::string(panel));
  if (!router->callMethod(*tabs, call))
    logMessage("No tab of the panel %.*s.", int(panel.size()), panel.data());
}

configPanelsHooks consoleSession::panelHooks() {
  configPanelsHooks hooks;
  hooks.editOptions = [this](optionsEditorTarget& target, const versionSpec* spec,
                             const std::string& initialKey) {
    return editOptions(target, spec, initialKey);
  };
  hooks.askFileName = [this](libraryKind kind, const std::string& proposed) {
    return runFileNameDialog(windows_, main_->window(), state_.libraries, kind, proposed);
  };
  hooks.selectTab = [this](std::string_view panel) { selectPanel(panel); };
  hooks.terminalChanged = [this](terminal& t) {
    if (list_) list_->updateRow(t);
  };
  hooks.post = [this](unsigned message) {
    if (main_ && main_->window() != 0) loop_.post(main_->window(), message);
  };
  hooks.dhcpMarked = [this] { return dhcpPanel_ && dhcpPanel_->marked(); };
  hooks.saveDhcp = [this] { return !dhcpPanel_ || dhcpPanel_->savePanel(); };
  hooks.restoreDhcp = [this] {
    if (dhcpPanel_) dhcpPanel_->restorePanel();
  };
  return hooks;
}

void consoleSession::makeDhcpPanel() {
  // Without the installation's DHCP defaults (a session made by tests) there is no panel.
  if (!state_.dhcp) return;
  terminalDhcpPanelHooks hooks;
  hooks.openOptions = [this](terminal* t, int32_t firstCode) {
    return openDhcpOptionsDialog(windows_, main_->window(), *state_.dhcp, t, firstCode, {});
  };
  hooks.terminalChanged = [this](terminal& t) {
    if (list_) list_->updateRow(t);
  };
  hooks.switchTo = [this](const std::string& command) { main_->runCommand(command); };
  hooks.defaultBootType = [this] { return state_.bootMode; };
  dhcpPanel_ = std::make_unique<terminalDhcpPanel>(windows_, state_.terminals, *state_.dhcp,
                                                   std::move(hooks));
}

bool consoleSession::editOptions(optionsEditorTarget& target, const versionSpec* spec,
                                 const std::string& initialKey) {
  optionsEditorHooks hooks;
  hooks.userStore = &userStore_;
  hooks.affectedTerminals = [this](int fileKind, const std::string& name) {
    std::vector<std::string> macs;
    for (const terminal* t : state_.terminals.all()) {
      bool uses = fileKind == optionsOfTemplate ? t->config.namesTemplate(name)
                                                : t->config.namesConnection(name);
      if (uses) macs.push_back(toUtf8(t->mac.displayText()));
    }
    return macs;
  };
  if (terminal* t = panels_->current(); t && target.config == &t->config) {
    hooks.versionChosen = [this, t](const versionSpec* chosen) {
      t->spec = chosen;
      if (chosen) {
        t->version = chosen->name;
        t->storeVersion();
      } else {
        t->clearVersion();
      }
      if (list_) list_->updateRow(*t);
    };
  }
  if (spec)
    return showOptionsEditor(windows_, main_->window(), state_.versions, target, spec, initialKey,
                             hooks);
  return showFreeOptionsEditor(windows_, main_->window(), state_.versions, target, initialKey,
                               hooks);
}

void consoleSession::wireCommands() {
  mainWindow& m = *main_;
  // Adding and finding leave the current terminal: its unsaved changes are offered first.
  auto add = [this](uiEvent&) {
    if (panels_->leaveBlocked()) return;
    runAddTerminalDialog(windows_, main_->window(), state_, dialogHooks());
  };
  auto find = [this](uiEvent&) {
    if (panels_->leaveBlocked()) return;
    runFindTerminalDialog(windows_, main_->window(), state_, dialogHooks());
  };
  auto copyTo = [this](uiEvent&) {
    terminal* source = panels_->current();
    if (!source || panels_->leaveBlocked()) return;
    copyConfigDialog(windows_, main_->window(), state_.terminals, *source, [this](terminal& t) {
      if (!saveConfiguration(t)) {
        messageBox(toUtf8(saveFailureText("config.zvc")), errorCaption, boxButtons::ok,
                   boxIcon::error);
        return false;
      }
      if (list_) list_->updateRow(t);
      return true;
    });
  };
  m.onCommand("terminal_copyto", copyTo);
  m.onCommand("copyto_terminal", copyTo);
  // The panel's buttons that open a tools page keep the main window's own commands.
  if (dhcpPanel_) {
    for (const std::string& id : terminalDhcpPanel::commandIds()) {
      if (id == "dhcp_interfaces" || id == "dhcp_ranges" || id == "boot_default") continue;
      m.onCommand(id, [this, id](uiEvent& e) { dhcpPanel_->runCommand(id, e); });
    }
    m.on(eventKind::dblclick, "terminals_DHCP", [this](uiEvent& e) { dhcpPanel_->handleEvent(e); });
    m.on(eventKind::selectionChanged, "boot_type",
         [this](uiEvent& e) { dhcpPanel_->handleEvent(e); });
  }
  for (const std::string& id : configPanels::commandIds())
    m.onCommand(id, [this, id](uiEvent& e) { panels_->runCommand(id, e); });
  m.on(eventKind::editValueChanged, "textConfig", [this](uiEvent&) { panels_->textEdited(); });
  m.on(eventKind::elementExpanded, "main_tabs", [this](uiEvent& e) {
    if (e.target) panels_->selectPanel(*e.target);
  });
  m.on(eventKind::popupDismissed, "options_version",
       [this](uiEvent&) { panels_->changeTerminalVersion(); });
  for (const char* id : {"template", "sourcetemplate"})
    m.on(eventKind::dblclick, id, [this](uiEvent& e) { panels_->mouse(e); });
  m.on(eventKind::dblclick, "terminals_templates_options",
       [this](uiEvent& e) { panels_->runCommand("terminals_options_edit", e); });
  m.onCommand("add_terminal", add);
  m.onCommand("terminal_new", add);
  m.onCommand("find_terminal", find);
  m.onCommand("terminal_find", find);
  auto withList = [this](void (terminalsList::*op)()) {
    return [this, op](uiEvent&) {
      if (list_) (list_.get()->*op)();
    };
  };
  m.onCommand("hide_terminal", withList(&terminalsList::hideCurrent));
  m.onCommand("terminal_hide", withList(&terminalsList::hideCurrent));
  m.onCommand("remove_terminal", withList(&terminalsList::removeCurrent));
  m.onCommand("terminal_remove", withList(&terminalsList::removeCurrent));
  m.onCommand("mac_copy", withList(&terminalsList::copyMac));
  m.onCommand("DHCPignores", [this](uiEvent&) {
    if (list_) list_->setDhcpIgnored(true);
  });
  m.onCommand("DHCPlistens", [this](uiEvent&) {
    if (list_) list_->setDhcpIgnored(false);
  });
  for (const char* id :
       {"showMAC", "showHost", "showIP", "showNote", "showLastlogin", "showOnline", "showTime"}) {
    m.onCommand(id, [this](uiEvent& e) {
      if (list_ && e.source) list_->onColumnClicked(*e.source);
    });
  }
  m.onCommand("serverTime", [this](uiEvent& e) {
    if (e.source) settings_.serverTime = e.source->hasState(stateChecked);
  });
  m.on(eventKind::selectionChanged, terminalsList::widgetId, [this](uiEvent& e) {
    if (list_ && e.target) list_->onRowSelected(*e.target, false);
  });
  m.on(eventKind::popupReady, "menu_terminals", [this](uiEvent&) {
    // The menu changes the list: unsaved changes of the terminal are offered first.
    if (main_) main_->mayLeaveTerminal();
  });
  m.on(eventKind::popupDismissed, "menu_terminals", [this](uiEvent&) {
    if (list_) list_->applyMenu();
  });
  m.on(eventKind::popupDismissed, "filter_terminals", [this](uiEvent&) {
    if (list_) list_->onFilterChosen();
  });
}

void consoleSession::terminalChanged(const macAddress& mac) {
  if (terminal* t = state_.terminals.findByMac(mac)) {
    reloadTerminalRecord(*t, state_.versions);
    if (list_) list_->updateRow(*t);
    if (dhcpPanel_ && t == panels_->current()) dhcpPanel_->refresh();
    return;
  }
  // A terminal new to the register: read it from its directory and list it.
  if (terminal* t = state_.terminals.loadTerminal(mac)) {
    if (list_) list_->insertRow(*t);
  }
}

}  // namespace zv
