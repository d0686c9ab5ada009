#include "zvc/shell/mainWindow.h"

#include "htmlview/dom.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"
#include "platform/windowMessages.h"
#include "zvc/register/versions.h"
#include "zvc/ui/messageBox.h"

#include <array>

namespace zv {
namespace {

// Every button and menu item id the console dispatches.
constexpr std::array commandIds = {
    // Mode buttons and the pages of the tools mode.
    "terminals", "tools", "dhcp_interfaces", "dhcp_ranges", "boot_default", "BOOT_USB", "BOOT_pi",
    // The terminals list.
    "add_terminal", "find_terminal", "copyto_terminal", "hide_terminal", "remove_terminal",
    "terminal_new", "terminal_find", "terminal_copyto", "terminal_hide", "terminal_remove",
    "mac_copy", "DHCPignores", "DHCPlistens", "webinterface", "terminal_reboot", "terminal_zvrc",
    "showMAC", "showHost", "showIP", "showNote", "showLastlogin", "showOnline", "showTime",
    "serverTime",
    // Configuration panels.
    "save_config", "restore_config", "apply_type", "create_config", "save_screens_config",
    "restore_screens_config", "M2_save_screens_config", "M2_restore_screens_config", "add_screen",
    "screen_hidden", "M2_screen_hidden", "radio_extend_desktop", "radio_second_monitor",
    "check_second_monitor", "test_textconfig", "save_textconfig", "restore_textconfig",
    "add_option", "terminals_options_new", "terminals_options_remove", "terminals_options_edit",
    // Templates, connections and screens.
    "templates_source_new", "templates_source_edit", "templates_source_copy",
    "templates_source_remove", "templates_source_add", "templates_target_show",
    "templates_target_delete", "menuTmplt", "connections_source_new", "connections_source_edit",
    "connections_source_copy", "connections_source_remove", "connectionVsCorrection_new",
    "connectionVsCorrection_edit", "connectionVsCorrection_delete", "menuConn", "screen_new",
    "screen_remove", "menuScreen", "M2_connections_source_new", "M2_connections_source_edit",
    "M2_connections_source_copy", "M2_connections_source_remove", "M2_connectionVsCorrection_new",
    "M2_connectionVsCorrection_edit", "M2_connectionVsCorrection_delete", "M2_menuConn",
    "M2_screen_new", "M2_screen_remove", "M2_menuScreen", "M2_add_screen",
    // DHCP panel, terminal log, terminal actions.
    "terminals_dhcp_new", "terminals_dhcp_edit", "terminals_dhcp_remove", "dhcp_default",
    "terminals_dhcp_save", "terminals_dhcp_restore", "dhcp_ip", "terminals_logStart",
    "terminals_logEnd", "terminals_logSave", "terminals_logClear", "reboot_terminal",
    "shutdown_terminal", "update_terminal", "WOL"};

// Commands that first ask whether the current terminal may be left.
bool leavesTerminal(const std::string& id) {
  return id == "find_terminal" || id == "terminal_find";
}

std::string idOf(const element* e) {
  if (!e) return {};
  return std::string(e->attribute("id").value_or(""));
}

}  // namespace

std::string versionCaptionText(const std::optional<sessionTerminal>& session) {
  if (!session || session->version.empty()) return {};
  return "Zelvar v." + session->version + " on " + session->mac.directoryName();
}

mainWindow::mainWindow(windowHost& windows, eventLoop& loop, const installedVersions& versions,
                       std::string skinDirectory, mainWindowHooks hooks)
    : windows_(windows),
      loop_(loop),
      versions_(versions),
      skin_(std::move(skinDirectory)),
      hooks_(std::move(hooks)) {
  for (const char* id : commandIds) commands_.emplace(id, action());
  onCommand("terminals", [this](uiEvent&) { setMode(consoleMode::terminals); });
  for (const char* id : {"tools", "dhcp_interfaces", "dhcp_ranges", "boot_default"})
    onCommand(id, [this, id = std::string(id)](uiEvent&) { switchToTools(id); });
}

mainWindow::~mainWindow() {
  if (window_ != 0 && windows_.isOpen(window_)) {
    for (unsigned id : {versionCaptionTimer.id, onlineTimer.id, lastSeenTimer.id})
      loop_.killTimer(window_, id);
    windows_.setEventHandler(window_, nullptr);
    windows_.setProcedure(window_, nullptr);
  }
}

document* mainWindow::doc() const {
  if (window_ != 0) return windows_.doc(window_);
  return pending_.get();
}

std::unique_ptr<document> mainWindow::buildDocument() {
  auto built = std::make_unique<document>();
  built->load(mainDocumentHtml(skin_));
  addEditMenus(*built);
  pending_ = std::move(built);
  mode_ = consoleMode::terminals;
  buildMainFrame();
  return std::move(pending_);
}

void mainWindow::attach(windowId window) {
  window_ = window;
  windows_.setEventHandler(window, [this](uiEvent& e) { return handleEvent(e); });
  windows_.setProcedure(window, [this](message& m) { return procedure(m); });
  refreshVersionCaption();
  for (const consoleTimer& t : {versionCaptionTimer, onlineTimer, lastSeenTimer})
    loop_.setTimer(window, t.id, t.period);
}

void mainWindow::setMode(consoleMode mode) {
  mode_ = mode;
  buildMainFrame();
}

void mainWindow::buildMainFrame() {
  document* d = doc();
  if (!d) return;
  elementRef body = d->selectFirst("body");
  if (!body) {
    ZV_INTERNAL_ERROR();
    return;
  }
  mainFrameChoices choices;
  choices.mode = mode_;
  bootMediaButtons(versions_, choices);
  if (mode_ == consoleMode::terminals)
    choices.versionSelect =
        toUtf8(versions_.versionSelectHtml(u"options_version", versions_.defaultSpec()));
  body->setInnerHtml(mainFrameHtml(choices));
  // The caption is written anew into the new frame.
  captionKnown_ = false;
  if (window_ != 0) refreshVersionCaption();
  if (hooks_.frameBuilt) hooks_.frameBuilt(mode_, *d);
}

void mainWindow::refreshVersionCaption() {
  std::optional<sessionTerminal> session;
  if (hooks_.session) session = hooks_.session();
  std::optional<std::pair<std::string, std::string>> now;
  if (session) now.emplace(session->version, session->mac.directoryName());
  if (captionKnown_ && now == lastSession_) return;
  document* d = doc();
  elementRef caption = d ? d->byId("ver_caption") : elementRef();
  if (!caption) {
    // Tools mode has no caption; the terminals frame gets it when it is built.
    if (mode_ == consoleMode::terminals) ZV_INTERNAL_ERROR();
    return;
  }
  caption->setText(versionCaptionText(session));
  lastSession_ = now;
  captionKnown_ = true;
}

bool mainWindow::closeRequested() {
  if (hooks_.mayLeaveTerminal && !hooks_.mayLeaveTerminal()) return false;
  if (hooks_.saveSettings) hooks_.saveSettings();
  return true;
}

void mainWindow::onCommand(const std::string& id, action a) {
  commands_[id] = std::move(a);
}

void mainWindow::on(eventKind kind, const std::string& id, action a) {
  handlers_[{kind, id}] = std::move(a);
}

bool mainWindow::runCommand(const std::string& id, const uiEvent* from) {
  auto it = commands_.find(id);
  if (it == commands_.end()) return false;
  if (leavesTerminal(id) && hooks_.mayLeaveTerminal && !hooks_.mayLeaveTerminal()) return true;
  if (!it->second) return true;
  action a = it->second;  // the action may replace the table's entries
  uiEvent e;
  if (from && from->source) {
    // Items of one menu share their id: the one clicked is the source.
    e = *from;
  } else if (document* d = doc()) {
    if (elementRef source = d->byId(id)) {
      e = uiEvent::behavior(eventKind::buttonClick, *source);
    }
  }
  a(e);
  return true;
}

void mainWindow::switchToTools(const std::string& command) {
  if (hooks_.mayLeaveTerminal && !hooks_.mayLeaveTerminal()) return;
  setMode(consoleMode::tools);
  if (command == "tools") return;
  // The pages of network interfaces, address ranges and boot mode open in tools mode.
  auto it = handlers_.find({eventKind::activateChild, command});
  if (it != handlers_.end() && it->second) {
    uiEvent e;
    action a = it->second;
    a(e);
  }
}

bool mainWindow::dispatchById(eventKind kind, element* from, uiEvent& e, bool walkUp) {
  for (element* at = from; at; at = walkUp ? at->parent() : nullptr) {
    std::string id = idOf(at);
    if (!id.empty()) {
      auto it = handlers_.find({kind, id});
      if (it != handlers_.end()) {
        if (it->second) {
          action a = it->second;
          a(e);
        }
        return true;
      }
    }
    if (!walkUp) break;
  }
  return false;
}

bool mainWindow::handleEvent(uiEvent& e) {
  switch (e.kind) {
    case eventKind::buttonClick:
    case eventKind::menuItemClick: {
      std::string id = idOf(e.source.get());
      if (id.empty() || !commands_.count(id)) return false;
      return runCommand(id, &e);
    }
    case eventKind::key: {
      bool ctrl = e.mods.ctrl && !e.mods.alt;
      if (ctrl && (e.key == "s" || e.key == "S")) return runCommand("save_config");
      if (ctrl && (e.key == "z" || e.key == "Z")) return runCommand("restore_config");
      if (e.key == "Enter" && !e.mods.ctrl && !e.mods.alt)
        return dispatchById(eventKind::key, e.target.get(), e, true);
      return false;
    }
    case eventKind::dblclick:
      return dispatchById(eventKind::dblclick, e.target.get(), e, true);
    case eventKind::contextmenu: {
      // The list's rows have the list's context menu.
      for (element* at = e.target.get(); at; at = at->parent()) {
        if (idOf(at) != "terminals_widget") continue;
        elementRef menu = doc() ? doc()->byId("list_context") : elementRef();
        if (!menu) return false;
        // The menu acts on the row under the pointer: it becomes current first.
        if (hooks_.listContext && e.target && !hooks_.listContext(*e.target)) return true;
        menu->setStates(statePopup, 0);
        return true;
      }
      if (hooks_.mouse) hooks_.mouse(e);
      return false;
    }
    case eventKind::click:
    case eventKind::drop:
      if (hooks_.mouse) hooks_.mouse(e);
      return false;
    case eventKind::input:
    case eventKind::select:
      if (hooks_.edit) hooks_.edit(e);
      return false;
    case eventKind::scroll:
      if (hooks_.scroll) hooks_.scroll(e);
      return false;
    case eventKind::resized:
      if (hooks_.resized) hooks_.resized(e);
      return true;
    case eventKind::elementExpanded: {
      // A tab became current: the panels switch.
      if (!e.target || !e.target->attribute("panel")) return false;
      return dispatchById(eventKind::elementExpanded, e.target.get(), e, false) ||
             dispatchById(eventKind::elementExpanded, doc()->byId("main_tabs").get(), e, false);
    }
    case eventKind::selectionChanged:
    case eventKind::editValueChanged:
    case eventKind::popupReady:
    case eventKind::popupDismissed:
    case eventKind::tableRowDoubleClick:
      // By the source's id, or by a list or table the source is in.
      return dispatchById(e.kind, e.source.get(), e, true);
    default:
      return false;
  }
}

std::intptr_t mainWindow::procedure(message& m) {
  switch (m.id) {
    case wm::timer:
      timer(unsigned(m.wParam));
      return 0;
    case wm::listenerDied:
      messageBox("Умер поток Listener.", "Критическая ошибка", boxButtons::ok, boxIcon::error);
      loop_.quit(1);
      return 0;
    case wm::logLine:
      ZV_INTERNAL_ERROR();
      return 0;
    case wm::logCaptureEnded:
      if (macAddress* mac = m.payload.get<macAddress>(); mac && hooks_.logCaptureEnded)
        hooks_.logCaptureEnded(*mac);
      return 0;
    case wm::terminalChanged:
      if (macAddress* mac = m.payload.get<macAddress>(); mac && hooks_.terminalChanged)
        hooks_.terminalChanged(*mac);
      return 0;
    case wm::closeAtOnce:
      // Another console takes over: no leave check, nothing saved, exit code 0.
      logMessage("Zelvar Center: another console takes over; this one ends.");
      if (hooks_.exitNow) {
        hooks_.exitNow(0);
      } else {
        loop_.quit(0);
      }
      return 0;
    default:
      if (m.id >= wm::rebuildTemplates && m.id <= wm::deleteConnection) {
        if (hooks_.panelMessage) hooks_.panelMessage(m.id);
        return 0;
      }
      return 0;
  }
}

void mainWindow::timer(unsigned id) {
  if (id == versionCaptionTimer.id) {
    refreshVersionCaption();
  } else if (id == onlineTimer.id) {
    if (mode_ == consoleMode::terminals && hooks_.onlineMarking && hooks_.onlineMarking() &&
        hooks_.onlineTick)
      hooks_.onlineTick();
  } else if (id == lastSeenTimer.id) {
    if (mode_ == consoleMode::terminals && hooks_.lastSeenShown && hooks_.lastSeenShown() &&
        hooks_.refreshLastSeen)
      hooks_.refreshLastSeen();
  }
}

}  // namespace zv
