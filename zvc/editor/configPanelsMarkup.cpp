// The markup of the configuration panels.

#include "common/specLookup.h"
#include "htmlview/parser.h"
#include "platform/textConv.h"
#include "zvc/editor/configPanels.h"
#include "zvc/editor/configReport.h"
#include "zvc/editor/libraryItems.h"

namespace zv {
namespace {

// The context menus of the templates panel. A menu acts on the item it was opened on.
constexpr const char* templatesMenusHtml =
    "<menu id=\"options_context\" class=\"context\">"
    "<li id=\"terminals_options_new\">Добавить параметр</li>"
    "<li id=\"terminals_options_edit\">Изменить параметр</li>"
    "<li id=\"terminals_options_remove\">Удалить параметр</li></menu>"
    "<menu id=\"templates_target_context\" class=\"context\">"
    "<li id=\"templates_add\">Добавить шаблон<menu id=\"add_template2terminal\"></menu></li>"
    "</menu>"
    "<menu id=\"template_target_context\" class=\"context\">"
    "<li id=\"templates_target_show\">Просмотреть шаблон</li>"
    "<li id=\"templates_target_delete\">Удалить шаблон из списка терминала</li></menu>"
    "<menu id=\"all_template_source_context\" class=\"context\">"
    "<li id=\"templates_source_add\">Добавить шаблон терминалу</li>"
    "<li id=\"templates_source_edit\">Редактировать шаблон</li></menu>"
    "<menu id=\"templates_source_context\" class=\"context\">"
    "<li id=\"templates_source_add\">Добавить шаблон терминалу</li>"
    "<li id=\"templates_source_edit\">Редактировать шаблон</li>"
    "<li id=\"templates_source_copy\">Копировать шаблон</li>"
    "<li id=\"templates_source_remove\">Удалить шаблон</li><hr>"
    "<li id=\"templates_source_new\">Создать шаблон</li></menu>"
    "<menu id=\"sourcetmpltlist_context\" class=\"context\">"
    "<li id=\"templates_source_new\">Создать шаблон</li></menu>";

// An option of the list that the terminal's specification does not know, does not
// allow in the general part or whose value it rejects.
bool failsSpec(const versionSpec* spec, std::string_view key, std::u16string_view value) {
  if (!spec) return false;
  const zvOptionSpecRecord* record = spec->find(key);
  return !record || (record->sectionMask & ZV_SECTION_GENERAL) == 0 ||
         !versionSpec::validate(*record, value);
}

void appendOption(std::string& html, std::string_view key, const effectiveOption& effective,
                  bool failing) {
  std::string value = toUtf8(effective.value);
  html += "<option id=\"";
  appendEscaped(html, key, true);
  html += "\" value=\"";
  appendEscaped(html, value, true);
  html += '"';
  if (failing) html += " class=\"option_error_ver\" titleid=\"error_ver\"";
  html += '>';
  appendEscaped(html, std::string(key) + "=" + value, false);
  html += "<div class=\"source\">/";
  appendEscaped(html, sourceText(effective), false);
  html += "/</div></option>";
}

}  // namespace

std::string noConfigPanelHtml(const std::string& macText) {
  std::string mac;
  appendEscaped(mac, macText, false);
  return "<div class=\"terminalfill noconfig\">На этом компьютере нет конфигурационного файла "
         "для терминала с MAC-адресом <span id=\"mac1\">" +
         mac +
         "</span><br>Возможно, конфигурационный файл хранится на локальном диске терминала.<br>"
         "В этом случае вы можете редактировать его через web-браузер по HTTP. <br>Или это "
         "вообще не терминал Zelvar.<br><button id=\"create_config\" class=\"command\">Создать "
         "пустой индивидуальный конфигурационный файл<br> для терминала с MAC-адресом "
         "<span id=\"mac2\">" +
         mac + "</span></button></div>";
}

std::string textPanelHtml() {
  return "<plaintext id=\"textConfig\"></plaintext><div class=\"div_h\">"
         "<button id=\"test_textconfig\" class=\"command\">Проверить текст</button>"
         "<button id=\"save_textconfig\" class=\"command\" disabled>Сохранить текст</button>"
         "<button id=\"restore_textconfig\" class=\"command\" disabled>Восстановить текст</button>"
         "</div>";
}

std::string templatesPanelHtml() {
  std::string html =
      "<!-- options in effect --><div class=\"div_h panels\"><div class=\"div_col left\">"
      "<label>Параметры терминала</label>"
      "<widget id=\"terminals_templates_options\" class=\"select_widget options_list\" "
      "type=\"select\"></widget><div class=\"div_h\">"
      "<button id=\"add_option\" class=\"command\">Добавить параметр</button>"
      "<button id=\"save_config\" class=\"command\" disabled>Сохранить</button>"
      "<button id=\"restore_config\" class=\"command\" disabled>Восстановить</button></div></div>"
      "<!-- the terminal's templates --><div class=\"div_col right dstlist\">"
      "<label>Шаблоны терминала</label><ul id=\"templates_list\" dropzone></ul></div>"
      "<div class=\"div_col\"><label>Корзина</label><div id=\"trash\" dropzone></div></div>"
      "<!-- the library --><div class=\"div_col sourcelist tmpltlist\">"
      "<label>Библиотека шаблонов</label><ul id=\"templates\"></ul></div></div>";
  html += templatesMenusHtml;
  html += "<popup id=\"error_ver\">Параметр несовместим с версией терминала</popup>";
  html += "<popup id=\"error_curr\">Параметр несовместим с текущей версией Zelvar</popup>";
  return html;
}

std::string optionsInEffectHtml(const GUIConfigFile& config, const versionSpec* spec) {
  std::string html;
  configReport report = describeConfiguration(config, spec);
  for (const effectiveEntry& entry : report.effective) {
    if (entry.effective.source == valueSource::specDefault ||
        entry.effective.source == valueSource::none)
      continue;
    appendOption(html, entry.key, entry.effective,
                 failsSpec(spec, entry.key, entry.effective.value));
  }
  // Own options the specification does not list would otherwise be invisible: they are
  // shown, marked, so that they can be removed.
  if (spec) {
    for (const configOption& own : config.generalOptions()) {
      const zvOptionSpecRecord* record = spec->find(own.key);
      if (record && (record->sectionMask & ZV_SECTION_GENERAL) != 0) continue;
      appendOption(html, own.key, {own.value, valueSource::ownGeneral, {}}, true);
    }
  }
  return html;
}

std::string terminalTemplatesHtml(const GUIConfigFile& config, const versionSpec* spec) {
  std::string html;
  for (const auto& link : config.templateLinks())
    if (link) html += templateItemHtml(*link, templateItemUse::terminal, spec);
  return html;
}

}  // namespace zv
