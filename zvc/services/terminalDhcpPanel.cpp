#include "zvc/services/terminalDhcpPanel.h"

#include "common/terminalDHCP.h"
#include "platform/diagnostics.h"
#include "platform/sockets.h"
#include "platform/textConv.h"
#include "zvc/register/terminals.h"
#include "zvc/services/terminalAddress.h"
#include "zvc/ui/messageBox.h"

#include <charconv>

namespace zv {
namespace {

constexpr const char* panelId = "panel-dhcp";
constexpr const char* listId = "terminals_DHCP";
constexpr const char* ipId = "terminal_ip";
constexpr const char* hostId = "terminal_host";
constexpr const char* commentId = "terminal_comment";
constexpr const char* bootTypeId = "boot_type";
constexpr const char* saveId = "terminals_dhcp_save";
constexpr const char* restoreId = "terminals_dhcp_restore";

std::string button(const char* id, const char* caption, bool disabled = false) {
  return std::string("<button id=\"") + id + "\" class=\"command\" title=\"" + caption + "\"" +
         (disabled ? " disabled" : "") + ">" + caption + "</button>";
}

std::string panelHtml(uint32_t defaultBootType) {
  const char* defaultName = defaultBootType == bootTypeHttp ? " (HTTP)" : " (TFTP)";
  return std::string("<widget id=\"") + listId +
         "\" class=\"select_widget dhcp_options_list\" type=\"select\"></widget>"
         "<div class=\"div_h\">" +
         button("terminals_dhcp_new", "Добавить") + button("terminals_dhcp_remove", "Удалить") +
         button(saveId, "Сохранить", true) + button(restoreId, "Восстановить", true) +
         "</div><div class=\"dhcp_terminal\">"
         "<div>IP&nbsp;терминала: <b id=\"" +
         ipId + "\"></b> " + button("dhcp_ip", "Изменить IP") +
         "</div><div>Host: <input type=\"text\" id=\"" + hostId +
         "\" maxlength=\"16\" filter=\"0~9a~zA~Z._-\"></div>"
         "<div>Комментарий: <input type=\"text\" id=\"" +
         commentId + "\" maxlength=\"64\" filter=\"0~9a~zA~Z._- а~яёА~ЯЁіїє'\"></div><div>" +
         button("dhcp_default", "Параметры по умолчанию") +
         button("dhcp_interfaces", "Интерфейсы") + button("dhcp_ranges", "Диапазоны адресов DHCP") +
         "</div><div>Загрузка: <select id=\"" + bootTypeId + "\"><option value=\"0\">как у всех" +
         defaultName +
         "</option><option value=\"1\">TFTP</option><option value=\"2\">HTTP</option></select> " +
         button("boot_default", "Посмотреть как у всех") +
         "</div></div>"
         "<menu id=\"dhcp_context\" class=\"context\">"
         "<li id=\"terminals_dhcp_new\">Добавить новый параметр</li>"
         "<li id=\"terminals_dhcp_edit\">Изменить параметр</li>"
         "<li id=\"terminals_dhcp_remove\">Удалить параметр</li></menu>";
}

elementRef cell(document& doc, const char* width, std::u16string_view text,
                const char* className = nullptr) {
  elementRef td = doc.createElement("td");
  td->setStyle("width", width);
  if (className) td->setAttribute("class", className);
  td->setTextU16(text);
  return td;
}

// The option number a row carries; 0 when it carries none that parses.
int32_t rowCode(const element& row) {
  std::string_view num = row.attribute("num").value_or("");
  int32_t code = 0;
  auto [end, ec] = std::from_chars(num.data(), num.data() + num.size(), code);
  if (ec != std::errc() || end != num.data() + num.size()) return 0;
  return code;
}

void makeCurrent(element& list, element* row) {
  for (std::size_t i = 0; i < list.childCount(); ++i) list.child(i)->setStates(0, stateCurrent);
  if (row) row->setStates(stateCurrent, 0);
}

uint32_t bootTypeOfValue(std::string_view value) {
  if (value == "1") return bootTypeTftp;
  if (value == "2") return bootTypeHttp;
  return bootTypeNone;
}

}  // namespace

terminalDhcpPanel::terminalDhcpPanel(windowHost& windows, terminalRegister& terminals,
                                     dhcpDefaults& defaults, terminalDhcpPanelHooks hooks)
    : windows_(windows), terminals_(terminals), defaults_(defaults), hooks_(std::move(hooks)) {}

terminalDhcpPanel::~terminalDhcpPanel() = default;

const std::vector<std::string>& terminalDhcpPanel::commandIds() {
  static const std::vector<std::string> ids{"terminals_dhcp_new",
                                            "terminals_dhcp_edit",
                                            "terminals_dhcp_remove",
                                            "dhcp_default",
                                            "dhcp_interfaces",
                                            "dhcp_ranges",
                                            "boot_default",
                                            saveId,
                                            restoreId,
                                            "dhcp_ip"};
  return ids;
}

void terminalDhcpPanel::frameBuilt(document& doc, windowId mainWindow) {
  mainWindow_ = mainWindow;
  elementRef panel = doc.byId(panelId);
  if (!panel) {
    ZV_REPORT("ui: the element \"%s\" is missing.", panelId);
    doc_ = nullptr;
    return;
  }
  doc_ = &doc;
  uint32_t defaultBoot = hooks_.defaultBootType ? hooks_.defaultBootType() : bootTypeTftp;
  panel->setInnerHtml(panelHtml(defaultBoot));
  renderTerminalDhcpPanel();
  setButtons();
}

void terminalDhcpPanel::frameLeft() {
  doc_ = nullptr;
}

void terminalDhcpPanel::showTerminal(terminal* t) {
  current_ = t;
  inputsEdited_ = optionsEdited_ = hostEdited_ = false;
  renderTerminalDhcpPanel();
  setButtons();
}

void terminalDhcpPanel::refresh() {
  if (!marked()) renderTerminalDhcpPanel();
}

bool terminalDhcpPanel::marked() const {
  return inputsEdited_ || optionsEdited_;
}

element* terminalDhcpPanel::need(const char* id) {
  elementRef e = doc_ ? doc_->byId(id) : elementRef();
  if (!e) ZV_REPORT("ui: the element \"%s\" is missing.", id);
  return e.get();
}

void terminalDhcpPanel::setButtons() {
  if (!doc_) return;
  for (const char* id : {saveId, restoreId})
    if (element* b = need(id))
      b->setStates(marked() ? 0u : uint32_t(stateDisabled),
                   marked() ? uint32_t(stateDisabled) : 0u);
}

void terminalDhcpPanel::renderTerminalDhcpPanel() {
  if (!doc_ || !current_) return;
  element* list = need(listId);
  element* ip = need(ipId);
  element* host = need(hostId);
  element* comment = need(commentId);
  element* boot = need(bootTypeId);
  if (!list || !ip || !host || !comment || !boot) return;
  std::vector<elementRef> rows;
  for (const dhcpOptionReport& r : reportTerminalOptions(current_->dhcp, defaults_.directory())) {
    if (r.code < 1 || r.code > 255 || !r.isSet) continue;
    elementRef row = doc_->createElement("option");
    row->setAttribute("num", std::to_string(r.code));
    row->append(cell(*doc_, "30%", r.displayName));
    row->append(cell(*doc_, "30%", r.valueText));
    row->append(
        cell(*doc_, "40%", u"/" + std::u16string(optionSourceText(r.source)) + u"/", "source"));
    rows.push_back(std::move(row));
  }
  list->setChildren(std::move(rows));
  makeCurrent(*list, list->child(0));
  ip->setText(current_->ip ? ipv4Text(current_->ip) : "-");
  // Text typed and not saved yet stays when the list is shown again (after the options
  // window or a removed row).
  if (inputsEdited_) return;
  host->setValue(current_->host);
  comment->setValue(toUtf8(current_->comment));
  boot->setValue(std::to_string(current_->bootType));
  std::string bootValue = std::to_string(current_->bootType);
  for (elementRef& option : boot->selectAll("option")) {
    if (option->attribute("value") == bootValue) {
      option->setStates(stateCurrent, 0);
    } else {
      option->setStates(0, stateCurrent);
    }
  }
}

void terminalDhcpPanel::selectPanelOption(int32_t code) {
  element* list = doc_ ? need(listId) : nullptr;
  if (!list) return;
  element* row = list->child(0);
  for (std::size_t i = 0; code != 0 && i < list->childCount(); ++i)
    if (rowCode(*list->child(i)) == code) row = list->child(i);
  makeCurrent(*list, row);
  if (row) row->scrollIntoView();
}

int32_t terminalDhcpPanel::currentCode() {
  element* list = need(listId);
  for (std::size_t i = 0; list && i < list->childCount(); ++i)
    if (list->child(i)->hasState(stateCurrent)) return rowCode(*list->child(i));
  return 0;
}

bool terminalDhcpPanel::inputsValid(std::u16string& host, std::u16string& comment) {
  element* hostInput = need(hostId);
  element* commentInput = need(commentId);
  if (!hostInput || !commentInput) return false;
  host = fromUtf8(hostInput->value());
  comment = fromUtf8(commentInput->value());
  if (hostEdited_ && !validHostText(host)) {
    messageBox(hostFormatText, errorCaption, boxButtons::ok, boxIcon::error);
    return false;
  }
  if (!validCommentText(comment)) {
    messageBox(commentFormatText, errorCaption, boxButtons::ok, boxIcon::error);
    return false;
  }
  return true;
}

bool terminalDhcpPanel::savePanel() {
  if (!doc_ || !current_) return false;
  element* boot = need(bootTypeId);
  std::u16string host, comment;
  // Every input is checked before anything is written.
  if (!boot || !inputsValid(host, comment)) return false;
  uint32_t bootType = bootTypeOfValue(boot->value());
  if (bootType != bootTypeNone) {
    current_->bootType = bootType;
  } else if (!clearTerminalBootType(*current_, current_->bootType)) {
    return false;
  }
  if (!writeTerminalDhcp(*current_, current_->dhcp, current_->bootType)) return false;
  current_->comment = comment;
  saveComment(*current_);
  if (hostEdited_) {
    std::string hostText = toUtf8(host);
    if (hostText.empty()) {
      current_->clearHost();
    } else {
      current_->setHostFromDhcp(hostText);
      current_->storeHost();
    }
    if (followHostInOption12(current_->dhcp, current_->host)) {
      writeTerminalDhcp(*current_, current_->dhcp, current_->bootType);
      readTerminalDhcp(*current_, current_->dhcp, current_->bootType);
    }
  }
  inputsEdited_ = optionsEdited_ = hostEdited_ = false;
  renderTerminalDhcpPanel();
  setButtons();
  if (hooks_.terminalChanged) hooks_.terminalChanged(*current_);
  return true;
}

void terminalDhcpPanel::restorePanel() {
  if (!current_) return;
  // The host and comment inputs come back from the files too.
  current_->loadIdentity();
  loadComment(*current_);
  readTerminalDhcp(*current_, current_->dhcp, current_->bootType);
  inputsEdited_ = optionsEdited_ = hostEdited_ = false;
  setButtons();
  renderTerminalDhcpPanel();
}

void terminalDhcpPanel::openOptions(int32_t code) {
  if (hostEdited_) {
    element* host = need(hostId);
    if (host && validHostText(fromUtf8(host->value()))) current_->setHostFromDhcp(host->value());
  }
  if (hooks_.openOptions && hooks_.openOptions(current_, code)) optionsEdited_ = true;
  if (hooks_.terminalChanged) hooks_.terminalChanged(*current_);
  renderTerminalDhcpPanel();
  selectPanelOption(code);
  setButtons();
}

void terminalDhcpPanel::removeCurrentOption() {
  int32_t code = currentCode();
  if (code < 1 || code > 255) {
    ZV_REPORT("ui: the current DHCP row carries no option number (%d).", code);
    return;
  }
  // In memory only: the files change with "Сохранить".
  if (removeOption(current_->dhcp, code)) optionsEdited_ = true;
  renderTerminalDhcpPanel();
  selectPanelOption(0);
  setButtons();
}

void terminalDhcpPanel::changeAddress() {
  if (openChangeAddressDialog(windows_, mainWindow_, terminals_, *current_, hooks_.reboot)) {
    if (element* ip = need(ipId)) ip->setText(current_->ip ? ipv4Text(current_->ip) : "-");
    if (hooks_.terminalChanged) hooks_.terminalChanged(*current_);
  }
}

bool terminalDhcpPanel::runCommand(const std::string& id, uiEvent&) {
  if (id == "dhcp_interfaces" || id == "dhcp_ranges" || id == "boot_default") {
    if (hooks_.switchTo) hooks_.switchTo(id);
    return true;
  }
  if (id == "dhcp_default") {
    if (hooks_.openOptions) hooks_.openOptions(nullptr, 0);
    renderTerminalDhcpPanel();
    return true;
  }
  if (!doc_ || !current_) return false;
  if (id == "terminals_dhcp_new") {
    openOptions(0);
  } else if (id == "terminals_dhcp_edit") {
    openOptions(currentCode());
  } else if (id == "terminals_dhcp_remove") {
    removeCurrentOption();
  } else if (id == saveId) {
    savePanel();
  } else if (id == restoreId) {
    restorePanel();
  } else if (id == "dhcp_ip") {
    changeAddress();
  } else {
    return false;
  }
  return true;
}

bool terminalDhcpPanel::handleEvent(uiEvent& e) {
  if (!doc_ || !current_ || !e.target || !e.target->closest(std::string("#") + panelId))
    return false;
  std::string_view id = e.target->attribute("id").value_or("");
  std::string_view sourceId = e.source ? e.source->attribute("id").value_or("") : "";
  if (e.kind == eventKind::input && (id == hostId || id == commentId)) {
    inputsEdited_ = true;
    if (id == hostId) hostEdited_ = true;
    setButtons();
    return false;
  }
  if ((e.kind == eventKind::select || e.kind == eventKind::selectionChanged) &&
      sourceId == bootTypeId) {
    inputsEdited_ = true;
    setButtons();
    return false;
  }
  elementRef row = e.target->closest(std::string("#") + listId + " option");
  if (e.kind == eventKind::contextmenu && e.target->closest(std::string("#") + listId)) {
    if (row) makeCurrent(*row->parent(), row.get());
    if (element* menu = need("dhcp_context")) menu->setStates(statePopup, 0);
    return true;
  }
  if (e.kind == eventKind::dblclick && row) {
    makeCurrent(*row->parent(), row.get());
    openOptions(rowCode(*row));
    return true;
  }
  return false;
}

}  // namespace zv
