#include "zvc/register/terminalDialogs.h"

#include "htmlview/controlActions.h"
#include "htmlview/events.h"
#include "htmlview/messageBoxWindow.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"
#include "zvc/register/consoleState.h"
#include "zvc/ui/dialogEvents.h"
#include "zvc/ui/editMenus.h"
#include "zvc/ui/messageBox.h"

#include <cerrno>

namespace zv {
namespace {

// What tells the two windows apart.
struct dialogTable {
  const char* title;
  int width;
  int height;
  const char* ok;
  const char* okLabel;
  const char* clear;
  const char* cancel;
};

constexpr dialogTable addDialog{"Добавить терминал", 330,         280,
                                "addTerminal_ok",    "Сохранить", "addTerminal_clear",
                                "addTerminal_cancel"};
constexpr dialogTable findDialog{"Найти терминал",     330,     240,
                                 "findTerminal_ok",    "Найти", "findTerminal_clear",
                                 "findTerminal_cancel"};

const dialogTable& tableOf(terminalDialogKind kind) {
  return kind == terminalDialogKind::add ? addDialog : findDialog;
}

constexpr const char* arpButton = "addARP";
constexpr const char* versionSelect = "options_version";

std::string inputRow(const formField& f, bool withArp) {
  std::string html = "<tr><td><b>";
  html += f.label;
  html += "</b></td><td><input type=\"text\" id=\"";
  html += f.id;
  html += "\" size=\"20\" novalue=\" \" maxlength=\"" + std::to_string(f.maxLength) +
          "\" filter=\"" + toUtf8(f.filter) + "\"></td><td>";
  if (withArp)
    html += std::string("<button id=\"") + arpButton + "\" class=\"command noimage\">ARP</button>";
  html += "</td></tr>";
  return html;
}

// Each input and the text of the form it holds.
struct inputBinding {
  const formField* field;
  std::u16string terminalFormText::*text;
};
constexpr inputBinding inputs[] = {{&macField, &terminalFormText::mac},
                                   {&ipField, &terminalFormText::ip},
                                   {&hostField, &terminalFormText::host},
                                   {&commentField, &terminalFormText::comment}};

// The four inputs of the window, or none (an internal error) when one is missing.
std::optional<terminalFormText> readInputs(document& doc) {
  terminalFormText form;
  for (const inputBinding& i : inputs) {
    elementRef input = doc.byId(i.field->id);
    if (!input) {
      errno = ENOENT;
      ZV_INTERNAL_ERROR();
      return std::nullopt;
    }
    form.*i.text = fromUtf8(input->value());
  }
  return form;
}

void writeInput(document& doc, const formField& f, std::u16string_view text) {
  if (elementRef input = doc.byId(f.id))
    input->setValue(toUtf8(text));
  else
    ZV_INTERNAL_ERROR();
}

void fillInputs(document& doc, const terminalFormText& form) {
  for (const inputBinding& i : inputs) writeInput(doc, *i.field, form.*i.text);
}

// Boxes over the dialog window.
formBox boxesOver(windowHost& windows, windowId window) {
  return
      [&windows, window](const std::string& text, const std::string& caption, boxButtons buttons) {
        boxIcon icon = buttons == boxButtons::yesNo ? boxIcon::question
                       : caption == errorCaption    ? boxIcon::error
                                                    : boxIcon::warning;
        return showMessageBox(windows, window, text, caption, buttons, icon);
      };
}

// The caption of the version selector's current option: "Без версии" for the
// "noversion" option, otherwise the version name it carries.
std::optional<std::u16string> versionCaption(document& doc) {
  elementRef select = doc.selectFirst(std::string("select#") + versionSelect);
  if (!select) {
    errno = ENOENT;
    ZV_INTERNAL_ERROR();
    return std::nullopt;
  }
  std::string value = select->value();
  if (value == "noversion") return std::u16string(noVersionCaption);
  return fromUtf8(value);
}

// Opens the window of `kind`, prefilled; 0 when it cannot be opened (internal error).
windowId openDialog(windowHost& windows, windowId owner, terminalDialogKind kind,
                    const consoleState& state) {
  const dialogTable& t = tableOf(kind);
  windowSpec spec;
  spec.title = t.title;
  spec.width = t.width;
  spec.height = t.height;
  spec.owner = windows.isOpen(owner) ? owner : 0;
  spec.modal = true;
  spec.sizable = kind == terminalDialogKind::find;
  spec.css = {"/skin/common-body.css", "/skin/command-button.css"};
  std::string select;
  if (kind == terminalDialogKind::add)
    select = toUtf8(
        state.versions.versionSelectHtml(fromUtf8(versionSelect), state.versions.defaultSpec()));
  auto doc = std::make_unique<document>();
  doc->load(terminalDialogHtml(kind, select));
  fillInputs(*doc, prefilledForm(state.terminals.current()));
  if (elementRef first = doc->byId(macField.id)) first->focus();
  windowId window = windows.openWindow(std::move(spec), std::move(doc));
  if (window == 0)
    internalErrorBox(__FILE__, __LINE__,
                     kind == terminalDialogKind::add ? "addTerminalDialog" : "findTerminalDialog");
  return window;
}

void clearInputs(document& doc) {
  for (elementRef& input : doc.selectAll("input")) input->setValue("");
}

}  // namespace

std::string terminalDialogHtml(terminalDialogKind kind, const std::string& versionSelectHtml) {
  const dialogTable& t = tableOf(kind);
  bool add = kind == terminalDialogKind::add;
  std::string html =
      "<html><head><style>"
      // The form is as wide as the window: the inputs take what the labels and the ARP
      // button leave (at their size of 20 characters they would not fit beside them).
      "table.terminal_form { width: 100%; }"
      "table.terminal_form td { padding: 2px 4px; white-space: nowrap; }"
      "table.terminal_form td:nth-child(2) { width: 100%; }"
      "table.terminal_form input { width: 100%; }"
      "div.terminal_buttons { margin-top: 8px; text-align: center; }"
      "</style><menu>" +
      editMenusHtml() + "</menu></head><body><table class=\"terminal_form\">";
  for (const inputBinding& i : inputs) html += inputRow(*i.field, add && i.field == &macField);
  if (add) html += "<tr><td><b>Версия:</b></td><td>" + versionSelectHtml + "</td><td></td></tr>";
  html += "</table><div class=\"terminal_buttons\">";
  html += std::string("<button id=\"") + t.ok + "\" class=\"command\">" + t.okLabel + "</button> ";
  html += std::string("<button id=\"") + t.clear + "\" class=\"command\">Очистить</button> ";
  html += std::string("<button id=\"") + t.cancel + "\" class=\"command\">Отмена</button>";
  html += "</div></body></html>";
  return html;
}

terminal* runAddTerminalDialog(windowHost& windows, windowId owner, consoleState& state,
                               const terminalDialogHooks& hooks) {
  windowId window = openDialog(windows, owner, terminalDialogKind::add, state);
  if (window == 0) return nullptr;
  terminal* added = nullptr;
  formBox box = boxesOver(windows, window);
  arpSource arp = hooks.arp ? hooks.arp : systemArpSource();

  auto save = [&] {
    document* doc = windows.doc(window);
    auto form = readInputs(*doc);
    auto version = form ? versionCaption(*doc) : std::nullopt;
    if (!version) return;
    addResult result =
        addFromForm(state.terminals, state.versions, *form, *version, box, hooks.insertRow);
    if (result.outcome == addOutcome::added) added = result.added;
    // Yes and No both close the window; a refused form stays for correcting.
    if (result.outcome == addOutcome::added || result.outcome == addOutcome::declined)
      windows.endModal(window, 0);
  };
  auto completeArp = [&] {
    document* doc = windows.doc(window);
    auto form = readInputs(*doc);
    if (form && completeFromArp(*form, arp, box)) fillInputs(*doc, *form);
  };

  windows.setEventHandler(window, [&, window](uiEvent& e) {
    std::string button = buttonOf(e);
    if (button == addDialog.ok || isEnter(e)) {
      save();
    } else if (button == arpButton) {
      completeArp();
    } else if (button == addDialog.clear) {
      clearInputs(*windows.doc(window));
    } else if (button == addDialog.cancel || isEscape(e)) {
      windows.endModal(window, 0);
    } else {
      return false;
    }
    return true;
  });
  windows.runModal(window);
  if (added && hooks.makeCurrent) hooks.makeCurrent(*added);
  return added;
}

void runFindTerminalDialog(windowHost& windows, windowId owner, consoleState& state,
                           const terminalDialogHooks& hooks) {
  windowId window = openDialog(windows, owner, terminalDialogKind::find, state);
  if (window == 0) return;
  formBox box = boxesOver(windows, window);

  auto find = [&] {
    document* doc = windows.doc(window);
    auto form = readInputs(*doc);
    if (!form) return;
    // A MAC typed in small letters is shown as the list shows it.
    if (auto mac = parseMac(std::u16string_view(form->mac), u':'))
      writeInput(*doc, macField, mac->displayText());
    // The window stays open: the next search starts from the same fields.
    if (terminal* found = findFromForm(state.terminals, *form, box); found && hooks.makeCurrent)
      hooks.makeCurrent(*found);
  };

  windows.setEventHandler(window, [&, window](uiEvent& e) {
    std::string button = buttonOf(e);
    if (button == findDialog.ok || isEnter(e)) {
      find();
    } else if (button == findDialog.clear) {
      clearInputs(*windows.doc(window));
    } else if (button == findDialog.cancel || isEscape(e)) {
      windows.endModal(window, 0);
    } else {
      return false;
    }
    return true;
  });
  windows.runModal(window);
}

}  // namespace zv
