#include "zvc/editor/fileNameDialog.h"

#include "common/installPaths.h"
#include "htmlview/controlActions.h"
#include "htmlview/events.h"
#include "htmlview/messageBoxWindow.h"
#include "htmlview/parser.h"
#include "platform/diagnostics.h"
#include "zvc/ui/dialogEvents.h"
#include "zvc/ui/editMenus.h"
#include "zvc/ui/messageBox.h"

#include <memory>

namespace zv {
namespace {

constexpr const char* nameInput = "fileName";
constexpr const char* resultId = "resultValue";
constexpr const char* okButton = "fileName_ok";
constexpr const char* cancelButton = "fileName_cancel";
constexpr std::size_t maxNameLength = 64;

// What the name input lets through: the filter's characters, at most 64 of them. The
// browser applies the same filter; a frame from outside may not have.
std::string cleanName(std::string_view text) {
  std::string name;
  for (char c : text) {
    bool allowed = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                   c == '_' || c == '-';
    if (allowed && name.size() < maxNameLength) name += c;
  }
  return name;
}

std::string resultText(const std::string& directory, std::string_view name) {
  return "\"" + directory + std::string(name) + ".zvc\"";
}

}  // namespace

std::string fileNameDialogHtml(const std::string& directory, const std::string& proposed) {
  std::string name = cleanName(proposed);
  std::string html = "<html><head><menu>" + editMenusHtml() +
                     "</menu></head><body><div>Name:</div><input type=\"text\" id=\"";
  html += nameInput;
  html += "\" maxlength=\"" + std::to_string(maxNameLength) +
          "\" filter=\"0~9a~zA~Z_-\" novalue=\"(Enter_name)\" value=\"";
  appendEscaped(html, name, true);
  html += "\"><div id=\"";
  html += resultId;
  html += "\">";
  appendEscaped(html, resultText(directory, name), false);
  html += "</div><div class=\"buttons\"><button id=\"";
  html += okButton;
  html += "\" class=\"command\">OK</button> <button id=\"";
  html += cancelButton;
  html += "\" class=\"command\">Отмена</button></div></body></html>";
  return html;
}

std::string runFileNameDialog(windowHost& windows, windowId owner, const configLibraries& libraries,
                              libraryKind kind, const std::string& proposed) {
  bool templates = kind == libraryKind::templates;
  const std::string& directory = templates ? paths().templatesDir : paths().connectionsDir;
  windowSpec spec;
  spec.title = templates ? "Создать шаблон" : "Создать соединение";
  spec.width = 350;
  spec.height = 150;
  spec.owner = windows.isOpen(owner) ? owner : 0;
  spec.modal = true;
  spec.css = {"/skin/command-button.css", "/skin/inputFileName.css", "/skin/common-body.css"};
  auto doc = std::make_unique<document>();
  doc->load(fileNameDialogHtml(directory, proposed));
  if (elementRef input = doc->byId(nameInput)) {
    input->setValue(cleanName(proposed));
    input->focus();
  }
  windowId window = windows.openWindow(std::move(spec), std::move(doc));
  if (window == 0) {
    internalErrorBox(__FILE__, __LINE__, "fileNameDialog");
    return {};
  }

  std::string chosen;
  auto currentName = [&] {
    elementRef input = windows.doc(window)->byId(nameInput);
    return input ? cleanName(input->value()) : std::string();
  };
  auto accept = [&] {
    std::string name = currentName();
    if (name.empty()) return;
    bool taken = templates ? bool(libraries.findTemplate(name))
                           : bool(libraries.findLibraryConnection(name));
    if (taken) {
      showMessageBox(windows, window, "Файл с таким именем уже существует", errorCaption,
                     boxButtons::ok, boxIcon::error);
      return;
    }
    chosen = name;
    windows.endModal(window, 0);
  };

  windows.setEventHandler(window, [&, window](uiEvent& e) {
    std::string button = buttonOf(e);
    // Typing shows the file at once; the input's own action then takes the value.
    if (e.kind == eventKind::input && e.target && e.target->attribute("id") == nameInput) {
      if (elementRef result = windows.doc(window)->byId(resultId))
        result->setText(resultText(directory, cleanName(e.value)));
      return false;
    }
    if (button == okButton || isEnter(e)) {
      accept();
    } else if (button == cancelButton || isEscape(e)) {
      windows.endModal(window, 0);
    } else {
      return false;
    }
    return true;
  });
  windows.runModal(window);
  return chosen;
}

}  // namespace zv
