// The copy-to window "ZVCOPYTO": a list of the other terminals of the register, the
// first one without a configuration chosen, and the buttons that copy the source's
// configuration onto the chosen one or leave.
//
// The list's rows carry the MAC in "tlgID". Whatever row the browser reports is looked
// up in the register again when it is used: a terminal removed meanwhile, or a row the
// browser made up, copies nothing.
#include "zvc/editor/configEdits.h"
#include "zvc/editor/versionDialogs.h"
#include "zvc/register/terminals.h"

#include "htmlview/events.h"
#include "htmlview/messageBoxWindow.h"
#include "htmlview/parser.h"
#include "platform/diagnostics.h"
#include "platform/sockets.h"
#include "platform/textConv.h"
#include "zvc/ui/dialogEvents.h"
#include "zvc/ui/editMenus.h"
#include "zvc/ui/messageBox.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace zv {
namespace {

constexpr const char* listId = "copyto_list";
constexpr const char* okButton = "copyto_ok";
constexpr const char* cancelButton = "copyto_cancel";
constexpr const char* emptyTip = "empty";
constexpr const char* noTargetMessage = "Выбранный терминал не найден";

// How the window names a terminal: the boot media by their names, everything else by its
// MAC. Group names are kept by the groups list, which this window does not see, so a
// group is shown by its MAC rather than under a wrong name.
std::string shownMac(const terminal& t) {
  if (t.mac.isBootCd() || t.mac.isBootUsb() || t.mac.isBootSd())
    return toUtf8(pseudoTerminalName(t.mac));
  return t.mac.logText();
}

// Rows for every terminal a configuration can be copied to: not the source itself, and
// not one whose MAC names no terminal directory (it could never be written).
bool offered(const terminal& t, const terminal& source) {
  return &t != &source && t.mac != source.mac && t.mac.isValid();
}

// A row key from the browser as it may go into the diagnostic log: at most 40 bytes,
// control characters and non-ASCII bytes as '?'.
std::string printable(std::string_view text) {
  std::string out(text.substr(0, 40));
  for (char& c : out)
    if (c < 0x20 || c > 0x7E) c = '?';
  return out;
}

void appendRow(std::string& html, const terminal& t) {
  html += "<tr tlgID=\"";
  html += t.mac.logText();
  html += t.config.isEmpty() ? "\"><td class=\"empty\" titleid=\"empty\">" : "\"><td>";
  appendEscaped(html, shownMac(t), false);
  html += "</td><td>";
  if (t.ip != 0) html += ipv4Text(t.ip);
  html += "</td></tr>";
}

std::string copyConfigDialogHtml(const terminalRegister& terminals, const terminal& source) {
  std::string html = "<html><head><menu>" + editMenusHtml() + "</menu></head><body><div>";
  appendEscaped(html,
                "Выберите терминал, в который будет скопирован конфигурационный файл терминала " +
                    shownMac(source) + ":",
                false);
  html += "</div><table id=\"";
  html += listId;
  html += "\" class=\"copytolist\">";
  for (const terminal* t : terminals.all())
    if (offered(*t, source)) appendRow(html, *t);
  html += "</table><div class=\"buttons\"><button id=\"";
  html += okButton;
  html += "\" class=\"command\">Копировать в терминал</button> <button id=\"";
  html += cancelButton;
  html += "\" class=\"command\">Отмена</button></div><popup id=\"";
  html += emptyTip;
  html += "\">Терминал без конфигурационного файла</popup></body></html>";
  return html;
}

// The first row of a terminal without a configuration becomes current.
void selectFirstEmpty(document& doc, const terminalRegister& terminals) {
  for (const elementRef& row : doc.selectAll("#copyto_list tr")) {
    const terminal* t = terminals.findByMacText(row->attribute("tlgID").value_or(""));
    if (t && t->config.isEmpty()) {
      row->setStates(stateCurrent, 0);
      row->scrollIntoView();
      return;
    }
  }
}

// One run of the window: the source, the register and what the buttons do.
class copyToWindow {
 public:
  copyToWindow(windowHost& windows, windowId window, terminalRegister& terminals,
               const terminal& source, const std::function<bool(terminal&)>& saveTarget)
      : windows_(windows),
        window_(window),
        terminals_(terminals),
        source_(source),
        saveTarget_(saveTarget) {}

  bool copied() const { return copied_; }

  bool handle(uiEvent& e) {
    std::string button = buttonOf(e);
    if (button == okButton || isEnter(e)) {
      accept();
    } else if (button == cancelButton || isEscape(e)) {
      windows_.endModal(window_, 0);
    } else {
      return false;
    }
    return true;
  }

 private:
  // The MAC text of the current row; empty when no row is current.
  std::string currentKey() const {
    document* doc = windows_.doc(window_);
    elementRef row = doc ? doc->selectFirst("#copyto_list tr:current") : elementRef();
    return row ? std::string(row->attribute("tlgID").value_or("")) : std::string();
  }

  // The terminal a row names, when a copy may go there.
  terminal* targetOf(const std::string& key) const {
    terminal* t = terminals_.findByMacText(key);
    return t && offered(*t, source_) ? t : nullptr;
  }

  void refuse(const std::string& text) {
    showMessageBox(windows_, window_, text, errorCaption, boxButtons::ok, boxIcon::error);
  }

  void accept() {
    std::string key = currentKey();
    if (key.empty()) return;
    terminal* target = targetOf(key);
    if (!target) {
      ZV_REPORT("copy-to: the row \"%s\" names no terminal to copy to", printable(key).c_str());
      refuse(noTargetMessage);
      return;
    }
    if (!target->config.isEmpty()) {
      std::string question =
          "У выбранного терминала есть непустой конфигурационный файл. Вы уверены, что хотите "
          "заменить его конфигурационным файлом терминала " +
          shownMac(source_) + "?";
      if (showMessageBox(windows_, window_, question, warningCaption, boxButtons::okCancel,
                         boxIcon::warning) != boxAnswer::ok)
        return;
      // The register may have changed while the question was open.
      if (targetOf(key) != target) {
        refuse(noTargetMessage);
        return;
      }
    }
    if (copyInto(*target)) {
      copied_ = true;
      windows_.endModal(window_, 1);
    }
  }

  // The copy is made aside and becomes the target's configuration only for the saving:
  // when the file is not written the target keeps the configuration it had, so memory
  // and disk still agree. The caller shows why the saving failed.
  bool copyInto(terminal& target) {
    GUIConfigFile copy(target.config.libraries());
    std::string refused = copyConfiguration(source_.config, copy);
    if (!refused.empty()) {
      showMessageBox(windows_, window_, refused, warningCaption, boxButtons::ok, boxIcon::warning);
      return false;
    }
    auto loadedAt = target.configTime;
    std::swap(target.config, copy);
    if (saveTarget_(target)) return true;
    std::swap(target.config, copy);
    target.configTime = loadedAt;
    return false;
  }

  windowHost& windows_;
  windowId window_;
  terminalRegister& terminals_;
  const terminal& source_;
  const std::function<bool(terminal&)>& saveTarget_;
  bool copied_ = false;
};

}  // namespace

bool copyConfigDialog(windowHost& windows, windowId owner, terminalRegister& terminals,
                      const terminal& source, const std::function<bool(terminal&)>& saveTarget) {
  if (source.config.isEmpty()) {
    messageBox(emptySourceMessage, warningCaption, boxButtons::ok, boxIcon::warning);
    return false;
  }
  windowSpec spec;
  spec.title = "Выберите терминал";
  spec.width = 500;
  spec.height = 500;
  spec.owner = windows.isOpen(owner) ? owner : 0;
  spec.modal = true;
  spec.css = {"/skin/copyConfig-grid.css", "/skin/command-button.css", "/skin/common-body.css"};
  auto doc = std::make_unique<document>();
  doc->load(copyConfigDialogHtml(terminals, source));
  selectFirstEmpty(*doc, terminals);
  if (elementRef list = doc->byId(listId)) list->focus();
  windowId window = windows.openWindow(std::move(spec), std::move(doc));
  if (window == 0) {
    internalErrorBox(__FILE__, __LINE__, "copyConfigDialog");
    return false;
  }

  copyToWindow run(windows, window, terminals, source, saveTarget);
  windows.setEventHandler(window, [&run](uiEvent& e) { return run.handle(e); });
  windows.runModal(window);
  return run.copied();
}

}  // namespace zv
