// The incompatible-version window: lists what of a list or a configuration the chosen
// version's specification refuses, and removes it, takes another version or stops.
#include "htmlview/parser.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"
#include "zvc/editor/versionChoice.h"
#include "zvc/editor/versionDialogs.h"
#include "zvc/register/versions.h"
#include "zvc/ui/dialogEvents.h"
#include "zvc/ui/editMenus.h"

#include <memory>

namespace zv {
namespace {

constexpr const char* deleteButton = "deleteParams";
constexpr const char* cancelButton = "cancelEditor";

// What failed: with a configuration everything validateConfiguration found, else the
// list's own problems in `general`.
struct findings {
  configurationProblems problems;
  bool fits() const { return problems.empty(); }
};

findings check(const versionSpec* spec, const GUIConfigFile* config, const optionList& list) {
  findings f;
  if (config)
    validateConfiguration(*config, spec, f.problems);
  else
    list.validateOptions(spec, f.problems.general);
  return f;
}

void row(std::string& html, std::string_view text, bool bold = false) {
  html += "<tr><td>";
  if (bold) html += "<b>";
  appendEscaped(html, text, false);
  if (bold) html += "</b>";
  html += "</td></tr>";
}

// A heading and its items, when there are any.
void itemList(std::string& html, std::string_view heading, const std::vector<std::string>& items) {
  if (items.empty()) return;
  html += "<tr><td>";
  appendEscaped(html, heading, false);
  html += "<ul>";
  for (const std::string& item : items) {
    html += "<li>";
    appendEscaped(html, item, false);
    html += "</li>";
  }
  html += "</ul></td></tr>";
}

std::vector<std::string> keysOf(const std::vector<configOption>& options) {
  std::vector<std::string> keys;
  for (const configOption& o : options) keys.push_back(o.key);
  return keys;
}

std::vector<std::string> pairsOf(const std::vector<configOption>& options) {
  std::vector<std::string> pairs;
  for (const configOption& o : options) pairs.push_back(o.key + "=" + toUtf8(o.value));
  return pairs;
}

void problemLists(std::string& html, const std::string& version, const optionProblems& p) {
  itemList(html, "Параметры, которых нет в версии Zelvar " + version + ":", keysOf(p.unknown));
  itemList(html, "Параметры нeсоответствующего типа:", keysOf(p.wrongSection));
  itemList(html, "Параметры с неверным значением:", pairsOf(p.invalid));
}

std::string connectionHeading(const connectionProblems& c) {
  std::string heading = c.which == monitor::second ? "Монитор 2 " : "";
  heading +=
      "Экран " + std::to_string(c.screen + 1) + " Соединение " + std::to_string(c.connection + 1);
  return heading;
}

std::string bodyHtml(const versionSpec& spec, const findings& f, const GUIConfigFile* config,
                     const std::string& versionSelect) {
  const configurationProblems& p = f.problems;
  std::string html = "<table id=\"contents\" class=\"scroll_table\" style=\"height:100%\">";
  row(html, "Версия не может быть установлена.");
  html += "<tr><td>&nbsp;</td></tr>";
  if (!p.general.empty()) {
    html += "<tr><td><b>Ошибка:</b> в списке указаны несовместимые с версией Zelvar ";
    appendEscaped(html, spec.name, false);
    html += " параметры.</td></tr>";
    problemLists(html, spec.name, p.general);
  }
  std::vector<std::string> templates;
  for (const auto& t : p.templates) templates.push_back(t->name());
  itemList(html, "В списке шаблонов указаны шаблоны с несовместимыми параметрами:", templates);
  for (const connectionProblems& c : p.connections) {
    row(html, connectionHeading(c), true);
    const configConnection* connection =
        config ? config->connection(c.screen, c.connection, c.which) : nullptr;
    if (c.libraryConnectionFails)
      row(html, "В соединении " + (connection ? connection->name : std::string()) +
                    " указаны несовместимые параметры.");
    problemLists(html, spec.name, c.corrective);
  }
  html += "<tr><td>Изменить версию на: " + versionSelect + "</td></tr></table>";
  bool more = !p.templates.empty() || !p.connections.empty();
  html += "<div class=\"option_bottom\"><button id=\"";
  html += deleteButton;
  html += "\" class=\"command\">";
  html += more ? "Удалить параметры и шаблоны\\соединения" : "Удалить параметры";
  html += "</button> <button id=\"";
  html += cancelButton;
  html += "\" class=\"command\">Прервать редактирование</button></div>";
  return html;
}

// Removes what the findings list.
void removeFindings(const findings& f, GUIConfigFile* config, optionList& list) {
  const configurationProblems& p = f.problems;
  auto removeKeys = [](optionList& from, const optionProblems& problems) {
    for (const auto* group : {&problems.unknown, &problems.wrongSection, &problems.invalid})
      for (const configOption& o : *group) from.remove(o.key);
  };
  if (!config) {
    removeKeys(list, p.general);
    return;
  }
  removeKeys(config->generalOptions(), p.general);
  if (!p.templates.empty()) {
    for (const auto& t : p.templates) config->removeTemplateName(t->name());
    config->resolveTemplates();
  }
  for (const connectionProblems& c : p.connections) {
    configConnection* connection = config->connection(c.screen, c.connection, c.which);
    if (!connection) continue;
    if (c.libraryConnectionFails) {
      connection->name.clear();
      connection->link.reset();
    }
    removeKeys(connection->options, c.corrective);
  }
}

}  // namespace

versionFit incompatibleVersionDialog(windowHost& windows, windowId owner,
                                     const installedVersions& versions, const versionSpec*& spec,
                                     GUIConfigFile* config, optionList& list) {
  if (!spec) return versionFit::fits;
  findings found = check(spec, config, list);
  if (found.fits()) return versionFit::fits;

  const versionSpec* shown = spec;
  auto page = [&] {
    std::string select = toUtf8(versions.versionSelectHtml(fromUtf8(versionSelectId), shown));
    return bodyHtml(*shown, found, config, select);
  };
  windowSpec ws;
  ws.title = "Невозможно установить версию Zelvar " + shown->name;
  ws.width = 800;
  ws.height = 400;
  ws.sizable = true;
  ws.owner = windows.isOpen(owner) ? owner : 0;
  ws.modal = true;
  ws.css = {"/skin/options.css", "/skin/command-button.css", "/skin/common-body.css"};
  auto doc = std::make_unique<document>();
  doc->load("<html><head><menu>" + editMenusHtml() + "</menu></head><body>" + page() +
            "</body></html>");
  windowId window = windows.openWindow(std::move(ws), std::move(doc));
  if (window == 0) {
    internalErrorBox(__FILE__, __LINE__, "incompatibleVersionDialog");
    return versionFit::cancelled;
  }

  versionFit outcome = versionFit::cancelled;
  auto chooseVersion = [&] {
    const versionSpec* chosen = shown;
    if (!readVersionSelector(windows, window, versions, chosen)) {
      showVersionChoice(*windows.doc(window), shown);
      return;
    }
    if (chosen == shown) return;
    findings again = chosen ? check(chosen, config, list) : findings{};
    if (!chosen || again.fits()) {
      shown = chosen;
      outcome = versionFit::otherVersion;
      windows.endModal(window, 0);
      return;
    }
    shown = chosen;
    found = std::move(again);
    if (elementRef body = windows.doc(window)->selectFirst("body")) body->setInnerHtml(page());
  };

  windows.setEventHandler(window, [&, window](uiEvent& e) {
    std::string button = buttonOf(e);
    if (button == deleteButton) {
      removeFindings(found, config, list);
      outcome = versionFit::removed;
      windows.endModal(window, 0);
    } else if (e.kind == eventKind::selectionChanged && e.source &&
               e.source->attribute("id") == versionSelectId) {
      chooseVersion();
    } else if (button == cancelButton || isEscape(e)) {
      windows.endModal(window, 0);
    } else {
      return false;
    }
    return true;
  });
  windows.runModal(window);
  if (outcome != versionFit::cancelled) spec = shown;
  return outcome;
}

}  // namespace zv
