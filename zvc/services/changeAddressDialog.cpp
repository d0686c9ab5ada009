// The change-address window "ZVIP": one input for the terminal's IPv4 address, checked
// as it is typed and again when it is saved.
#include "common/netInterfaces.h"
#include "htmlview/messageBoxWindow.h"
#include "platform/diagnostics.h"
#include "platform/ipv4.h"
#include "platform/sockets.h"
#include "zvc/register/terminals.h"
#include "zvc/services/terminalAddress.h"
#include "zvc/services/terminalDhcpPanel.h"
#include "zvc/ui/dialogEvents.h"
#include "zvc/ui/messageBox.h"

#include <memory>
#include <optional>

namespace zv {
namespace {

constexpr const char* ipInput = "terminal_ip";
constexpr const char* saveButton = "terminalIP_save";
constexpr const char* cancelButton = "terminalIP_cancel";

std::string changeAddressHtml() {
  return std::string(
             "<html><body><div class=\"div_h\">IP&nbsp;терминала: <input type=\"text\" id=\"") +
         ipInput + "\" maxlength=\"15\" size=\"15\" filter=\"0~9.\"></div><div class=\"div_h\">" +
         "<button id=\"" + saveButton + "\" class=\"command\">Сохранить</button>" +
         "<button id=\"" + cancelButton +
         "\" class=\"command\">Отмена</button></div></body></html>";
}

// The text as an address; nullopt when it is not one (empty text is "no address", 0).
std::optional<uint32_t> typedAddress(std::string_view text) {
  if (text.empty()) return 0u;
  return parseIpv4Text(text);
}

class changeAddressWindow {
 public:
  changeAddressWindow(windowHost& windows, terminalRegister& terminals, terminal& t,
                      const std::function<void(terminal&)>& reboot)
      : windows_(windows), terminals_(terminals), t_(t), reboot_(reboot) {}

  bool run(windowId owner) {
    windowSpec spec;
    spec.title = "Изменить IP терминала";
    spec.width = 280;
    spec.height = 120;
    spec.owner = windows_.isOpen(owner) ? owner : 0;
    spec.modal = true;
    spec.css = {"/skin/common-body.css", "/skin/command-button.css"};
    auto doc = std::make_unique<document>();
    doc->load(changeAddressHtml());
    if (elementRef input = doc->byId(ipInput)) {
      input->setValue(t_.ip ? ipv4Text(t_.ip) : "");
      input->focus();
    }
    window_ = windows_.openWindow(std::move(spec), std::move(doc));
    if (window_ == 0) {
      ZV_REPORT("DHCP_IPDialog: the window could not be created.");
      return false;
    }
    windows_.setEventHandler(window_, [this](uiEvent& e) { return handle(e); });
    windows_.runModal(window_);
    return stored_;
  }

 private:
  bool handle(uiEvent& e) {
    if (e.kind == eventKind::input && e.target && e.target->attribute("id") == ipInput) {
      // Marked at once; the input takes the value itself.
      e.target->setAttribute(
          "class", typedAddress(e.value) ? std::nullopt : std::optional<std::string_view>("error"));
      return false;
    }
    std::string button = buttonOf(e);
    if (button == saveButton || isEnter(e)) {
      save();
    } else if (button == cancelButton || isEscape(e)) {
      windows_.endModal(window_, 0);
    } else {
      return false;
    }
    return true;
  }

  void error(const char* text) {
    showMessageBox(windows_, window_, text, errorCaption, boxButtons::ok, boxIcon::error);
  }

  void save() {
    document* doc = windows_.doc(window_);
    elementRef input = doc ? doc->byId(ipInput) : elementRef();
    if (!input) {
      ZV_REPORT("DHCP_IPDialog: the address input is missing.");
      return;
    }
    // The text is read again here: what the browser sent is not trusted to have
    // passed the check of the input event.
    std::optional<uint32_t> address = typedAddress(input->value());
    if (address && *address == 0) {
      t_.clearIp();
      stored_ = true;
      windows_.endModal(window_, 0);
      return;
    }
    if (!address || !doc->selectAll(".error").empty()) {
      error(invalidAddressText);
      return;
    }
    addressVerdict verdict = checkTerminalAddress(terminals_, t_, *address, scanInterfaces());
    if (verdict == addressVerdict::inUse || verdict == addressVerdict::invalid) {
      error(addressVerdictText(verdict));
      return;
    }
    if (verdict == addressVerdict::offNetwork &&
        showMessageBox(windows_, window_, offNetworkQuestion, warningCaption, boxButtons::yesNo,
                       boxIcon::warning) != boxAnswer::yes)
      return;
    t_.ip = *address;
    if (showMessageBox(windows_, window_, rebootQuestion, "Zelvar", boxButtons::yesNo,
                       boxIcon::question) == boxAnswer::yes &&
        reboot_)
      reboot_(t_);
    stored_ = t_.storeIp();
    if (!stored_)
      ZV_REPORT("DHCP_IPDialog: the address of %s was not stored.", t_.mac.logText().c_str());
    windows_.endModal(window_, 0);
  }

  windowHost& windows_;
  terminalRegister& terminals_;
  terminal& t_;
  const std::function<void(terminal&)>& reboot_;
  windowId window_ = 0;
  bool stored_ = false;
};

}  // namespace

bool openChangeAddressDialog(windowHost& windows, windowId owner, terminalRegister& terminals,
                             terminal& t, const std::function<void(terminal&)>& reboot) {
  changeAddressWindow window(windows, terminals, t, reboot);
  return window.run(owner);
}

}  // namespace zv
