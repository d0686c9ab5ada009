#include "zvc/editor/optionsEditorPages.h"

#include "common/versionSpec.h"
#include "htmlview/collation.h"
#include "htmlview/parser.h"
#include "platform/textConv.h"
#include "zvc/editor/configEdits.h"

#include <algorithm>

namespace zv {
namespace {

void button(std::string& html, const char* id, const char* label, bool disabled) {
  html += std::string("<button id=\"") + id + "\" class=\"command\"";
  if (disabled) html += " disabled";
  html += ">";
  html += label;
  html += "</button> ";
}

// The command bar: everything, or "Закрыть" alone when read-only.
void commandBar(std::string& html, bool withDelete, bool readOnly, bool listChanged,
                const std::string& versionSelect) {
  html += "<div id=\"option_bottom\">";
  if (!readOnly) {
    if (withDelete) button(html, deleteButtonId, "Удалить параметр", false);
    button(html, applyButtonId, "Сохранить", !listChanged);
    button(html, restoreButtonId, "Восстановить", !listChanged);
  }
  button(html, cancelButtonId, "Закрыть", false);
  if (!readOnly) html += versionSelect;
  html += "</div>";
}

void textInput(std::string& html, const std::string& id, std::size_t maxLength, const char* filter,
               std::string_view value, bool error, bool readOnly) {
  html += "<input type=\"text\" id=\"" + id + "\" maxlength=\"" + std::to_string(maxLength) + "\"";
  if (filter) html += std::string(" filter=\"") + filter + "\"";
  if (error) html += std::string(" class=\"") + errorClass + "\"";
  if (readOnly) html += " readonly";
  html += " value=\"";
  appendEscaped(html, value, true);
  html += "\">";
}

constexpr const char* keyFilter = "a~zA~Z0~9_";

}  // namespace

std::string optionsEditorTitle(const optionsEditorTarget& target) {
  if (!target.config) return "Параметры " + target.title;
  bool general = target.screen < 0 && target.connection < 0;
  return (general ? "Параметры конфигурационного файла " : "Корректирующие параметры ") +
         target.title;
}

std::vector<const zvOptionSpecRecord*> listedOptions(const versionSpec& spec, std::uint32_t kind) {
  std::vector<const zvOptionSpecRecord*> listed;
  for (std::size_t i = 0; i < spec.count(); ++i) {
    const zvOptionSpecRecord* r = spec.get(i);
    if (r && r->name && !(r->sectionMask & ZV_SECTION_UNLISTED) && (r->sectionMask & kind))
      listed.push_back(r);
  }
  std::stable_sort(listed.begin(), listed.end(), [](const auto* a, const auto* b) {
    return compareLinguistic(fromUtf8(a->name), fromUtf8(b->name)) < 0;
  });
  return listed;
}

std::string gridPageBody(const std::vector<const zvOptionSpecRecord*>& listed,
                         const optionList& list, bool readOnly, bool listChanged,
                         const std::string& versionSelect) {
  std::string html =
      "<div id=\"option_top\" style=\"display:flex; gap:8px;\">"
      "<div style=\"flex:0 0 34%; overflow:auto;\"><table id=\"";
  html += optionsGridId;
  html += "\" class=\"option_grid\" fixedrows=\"1\"><tr><th>Параметр</th></tr>";
  for (const zvOptionSpecRecord* r : listed) {
    html += "<tr key=\"";
    appendEscaped(html, r->name, true);
    html += "\"";
    if (list.contains(r->name)) html += " class=\"checked\" titleid=\"check-image\"";
    html += "><td>";
    appendEscaped(html, r->name, false);
    html += "</td></tr>";
  }
  html +=
      "</table></div><div style=\"flex:1 1 66%; display:flex; flex-direction:column; "
      "gap:6px; min-width:0;\"><div id=\"";
  html += editorPanelId;
  html += "\"></div><div id=\"";
  html += manualId;
  html += "\" style=\"flex:1;\"></div></div></div>";
  commandBar(html, true, readOnly, listChanged, versionSelect);
  html += "<popup id=\"check-image\">Параметр определен в списке параметров</popup>";
  return html;
}

std::string editorPanelHtml(std::string_view key, std::u16string_view value,
                            const std::string& editorHtml, const std::string* source) {
  std::string html = "<div class=\"option_editor_outer\"><div id=\"";
  html += editorBlockId;
  html += "\"";
  if (key == "video") html += " style=\"width:44em; height:100%;\"";
  html += ">" + editorHtml + "</div></div><div>Значение: <span id=\"";
  html += resultValueId;
  html += "\">";
  appendEscaped(html, std::string(key) + "=" + toUtf8(value), false);
  html += "</span></div>";
  if (source) {
    html += "<div>Источник: <span id=\"";
    html += resultSourceId;
    html += "\">";
    appendEscaped(html, *source, false);
    html += "</span></div>";
  }
  return html;
}

std::string freePageBody(const optionList& list, bool readOnly, bool listChanged,
                         const std::string& versionSelect) {
  std::string html = "<div id=\"option_top\"><div id=\"";
  html += editorBlockId;
  html += "\" class=\"option_editor_outer\"><table>";
  std::size_t i = 0;
  for (const configOption& o : list) {
    std::string n = std::to_string(i++);
    html += "<tr><td>";
    textInput(html, "editName" + n, maxFreeKey, keyFilter, o.key, o.key.empty(), readOnly);
    html += "</td><td> = </td><td>";
    textInput(html, "editValue" + n, maxFreeValue, nullptr, toUtf8(o.value), false, readOnly);
    html += "</td>";
    if (!readOnly)
      html += "<td><button id=\"editDelete" + n + "\" class=\"command\">-</button></td>";
    html += "</tr>";
  }
  if (!readOnly) {
    html += "<tr><td>";
    textInput(html, "new_editName", maxNewFreeKey, keyFilter, "", false, false);
    html += "</td><td> = </td><td>";
    textInput(html, "new_editValue", maxFreeValue, nullptr, "", false, false);
    html += "</td><td></td></tr>";
  }
  html += "</table></div></div>";
  commandBar(html, false, readOnly, listChanged, versionSelect);
  return html;
}

bool freeKeyAccepted(std::string_view key, std::size_t limit) {
  auto allowed = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  };
  return key.size() > 1 && key.size() <= limit && std::all_of(key.begin(), key.end(), allowed) &&
         !isLayoutKey(key);
}

std::u16string composeDisplayParameters(const optionList& list) {
  std::u16string out;
  if (const std::u16string* v = list.find("resolution")) out += *v + u",";
  if (const std::u16string* v = list.find("refresh")) {
    out += *v;
    if (!equalsNoCase(*v, u"auto")) out += u" Hz";
    out += u",";
  }
  if (const std::u16string* v = list.find("noddc"); v && equalsNoCase(*v, u"on")) out += u"noddc,";
  if (const std::u16string* v = list.find("connector")) out += *v + u",";
  if (const std::u16string* v = list.find("modeline")) out += u"\"" + *v + u"\"";
  if (!out.empty() && out.back() == u',') out.pop_back();
  return out;
}

std::string saveQuestion(std::string_view fileName, const std::vector<std::string>& macs) {
  std::string question;
  if (!macs.empty()) {
    question = "Сохранение параметров подключаемого файла " + std::string(fileName) +
               " повлияет на параметры следующих терминалов:\n";
    for (const std::string& mac : macs) question += mac + "\n";
  }
  return question + "Сохранить изменения?";
}

}  // namespace zv
