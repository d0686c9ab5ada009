#include "zvc/shell/gallery.h"

#include "htmlview/messageBoxWindow.h"
#include "platform/diagnostics.h"
#include "platform/eventLoop.h"
#include "zvc/ui/consoleUi.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

namespace zv {
namespace {

constexpr const char* boxCaption = "Галерея";

// The message box buttons, one per set of answers.
struct boxButton {
  const char* id;
  const char* label;
  boxButtons buttons;
  boxIcon icon;
  const char* text;
};
constexpr boxButton boxButtonsShown[] = {
    {"box_ok", "OK", boxButtons::ok, boxIcon::information, "Окно сообщения с кнопкой OK."},
    {"box_okcancel", "OK / Отмена", boxButtons::okCancel, boxIcon::warning, "Продолжить работу?"},
    {"box_yesno", "Да / Нет", boxButtons::yesNo, boxIcon::question, "Сохранить изменения?"},
    {"box_yesnocancel", "Да / Нет / Отмена", boxButtons::yesNoCancel, boxIcon::question,
     "Сохранить изменения перед выходом?"},
    {"box_retrycancel", "Повтор / Отмена", boxButtons::retryCancel, boxIcon::error,
     "Не удалось записать файл.\nПовторить попытку?"},
};

const boxButton* findBoxButton(std::string_view id) {
  for (const boxButton& b : boxButtonsShown)
    if (id == b.id) return &b;
  return nullptr;
}

// The text inputs whose values are echoed in "got_<id>".
constexpr const char* echoedInputs[] = {"hex_input", "name_input", "password_input", "notes_input"};

bool isEchoedInput(std::string_view id) {
  for (const char* name : echoedInputs)
    if (id == name) return true;
  return false;
}

std::string idOf(const element& e) {
  return std::string(e.attribute("id").value_or(""));
}

void appendGridRows(std::string& html, std::size_t rows) {
  html.reserve(html.size() + rows * 110);
  for (std::size_t n = 1; n <= rows; ++n) {
    galleryRow row = galleryRowText(n, rows);
    html += "<tr><td>";
    html += row.name;
    html += "</td><td>";
    html += row.code;
    html += "</td><td>";
    html += row.address;
    html += "</td></tr>";
  }
}

}  // namespace

galleryRow galleryRowText(std::size_t n, std::size_t gridRows) {
  galleryRow row;
  row.name = "Терминал " + std::to_string(n);
  // 7919 is prime and shares no factor with the usual row counts (50,000, 1,000…), so
  // the codes are the numbers 0 to gridRows-1, each once, in another order.
  std::size_t code = gridRows ? (n * 7919) % gridRows : 0;
  char text[24];
  std::snprintf(text, sizeof text, "%05zu", code);
  row.code = text;
  std::snprintf(text, sizeof text, "10.%zu.%zu.%zu", (n >> 16) & 255, (n >> 8) & 255, n & 255);
  row.address = text;
  return row;
}

std::vector<std::string> gallerySheets() {
  return {"/skin/common-body.css", "/skin/command-button.css", "/skin/main-tabs.css",
          "/skin/gallery.css"};
}

std::string galleryHtml(std::size_t gridRows) {
  std::string html =
      "<html><head><title>Галерея</title></head><body class=\"gallery\">"
      "<div id=\"status_bar\">Состояние: <span id=\"status\">готово</span></div>"
      "<div class=\"tabs\" id=\"gallery_tabs\">"
      "<div class=\"strip\" id=\"gallery_strip\" tabindex=\"0\">"
      "<div panel=\"controls\" id=\"tab_controls\" selected>Элементы</div>"
      "<div panel=\"grid\" id=\"tab_grid\">Таблица</div>"
      "<div panel=\"lists\" id=\"tab_lists\">Списки</div>"
      "<div panel=\"boxes\" id=\"tab_boxes\">Окна сообщений</div>"
      "</div>"
      // ---- controls
      "<div name=\"controls\" id=\"panel_controls\">"
      "<form id=\"gallery_form\"><fieldset><legend>Форма</legend>"
      "<p><label>MAC-адрес: <input id=\"hex_input\" filter=\"0~9a~fA~F:\" maxlength=\"17\" "
      "novalue=\"00:1A:2B:3C:4D:5E\"></label></p>"
      "<p><label>Имя: <input id=\"name_input\" maxlength=\"15\" novalue=\"не задано\">"
      "</label></p>"
      "<p><label>Пароль: <input id=\"password_input\" type=\"password\"></label> "
      "<button type=\"checkbox\" id=\"show_password\">Показать пароль</button></p>"
      "<p><label>Заметки:</label><plaintext id=\"notes_input\"></plaintext></p>"
      "<p><button id=\"form_ok\" default>Применить</button> "
      "<button id=\"form_reset\">Очистить</button></p>"
      "<p>Отправлено: <span id=\"form_result\"></span></p>"
      "</fieldset></form>"
      "<table id=\"echo\"><tr><th>Поле</th><th>Значение в консоли</th></tr>"
      "<tr><td>hex_input</td><td id=\"got_hex_input\"></td></tr>"
      "<tr><td>name_input</td><td id=\"got_name_input\"></td></tr>"
      "<tr><td>password_input</td><td id=\"got_password_input\"></td></tr>"
      "<tr><td>notes_input</td><td id=\"got_notes_input\"></td></tr></table>"
      "<fieldset><legend>Флажки и переключатели</legend>"
      "<p><button type=\"checkbox\" id=\"check_one\">Первый флажок</button> "
      "<button type=\"checkbox\" id=\"check_two\" checked>Второй флажок</button></p>"
      "<p><button type=\"radio\" name=\"mode\" id=\"radio_x86\" checked>X86</button> "
      "<button type=\"radio\" name=\"mode\" id=\"radio_uefi\">UEFI</button> "
      "<button type=\"radio\" name=\"mode\" id=\"radio_pi\">Raspberry Pi</button></p>"
      "<p>Выбрано: <span id=\"check_result\"></span></p></fieldset>"
      "<fieldset><legend>Списки выбора</legend>"
      "<select id=\"select_list\" size=\"5\">"
      "<option value=\"6.2.63\">Версия 6.2.63</option>"
      "<option value=\"6.1.10\">Версия 6.1.10</option>"
      "<option value=\"5.9.1\">Версия 5.9.1</option>"
      "<option value=\"5.8.0\">Версия 5.8.0</option>"
      "<option value=\"5.7.4\">Версия 5.7.4</option>"
      "<option value=\"5.6.2\">Версия 5.6.2</option></select> "
      "<select id=\"select_dropdown\">"
      "<option value=\"ru\">Русский</option><option value=\"en\">Английский</option>"
      "<option value=\"de\">Немецкий</option></select>"
      "<p>Выбрано: <span id=\"selection\"></span></p></fieldset>"
      "<fieldset><legend>Меню и подсказки</legend>"
      "<p><button id=\"menu_button\">Меню ▾"
      "<menu id=\"popup_menu\">"
      "<li id=\"menu_open\">Открыть</li><li id=\"menu_save\">Сохранить</li>"
      "<li id=\"menu_export\">Экспорт</li></menu></button> "
      "<img id=\"tip_image\" src=\"terminals.png\" titleid=\"tip_terminals\"> "
      "<span id=\"tip_label\" titleid=\"tip_label_text\">Наведите указатель сюда</span></p>"
      "<div id=\"context_area\">Щёлкните здесь правой кнопкой мыши</div>"
      "<p>Выбран пункт: <span id=\"menu_choice\"></span></p></fieldset>"
      "</div>"
      // ---- grid
      "<div name=\"grid\" id=\"panel_grid\">"
      "<p>Строк: <span id=\"grid_count\">" +
      std::to_string(gridRows) +
      "</span>; выбрана: <span id=\"grid_row\"></span></p>"
      "<table id=\"big_grid\" fixedrows=\"1\"><thead><tr>"
      "<th id=\"col_name\">Терминал</th><th id=\"col_code\">Код</th>"
      "<th id=\"col_address\">Адрес</th></tr></thead><tbody id=\"big_grid_rows\">";
  appendGridRows(html, gridRows);
  html +=
      "</tbody></table></div>"
      // ---- lists
      "<div name=\"lists\" id=\"panel_lists\">"
      "<ul class=\"expandable-list\" id=\"expandable\">"
      "<li id=\"exp_network\"><div class=\"caption\">Сеть</div>"
      "<div>Адреса, группы и исключённые MAC-адреса.</div></li>"
      "<li id=\"exp_boot\" default><div class=\"caption\">Загрузка</div>"
      "<div>Режим загрузки и загрузочные носители.</div></li>"
      "<li id=\"exp_logs\"><div class=\"caption\">Журналы</div>"
      "<div>Журналы служб и терминалов.</div></li></ul>"
      "<p>Открыт пункт: <span id=\"expanded_item\">exp_boot</span></p>"
      "<div id=\"drag_area\">"
      "<ul id=\"list_left\" class=\"drag_list\" dropzone>"
      "<li id=\"drag_alpha\" draggable=\"true\">Альфа</li>"
      "<li id=\"drag_beta\" draggable=\"true\">Бета</li>"
      "<li id=\"drag_gamma\" draggable=\"true\">Гамма</li></ul>"
      "<ul id=\"list_right\" class=\"drag_list\" dropzone>"
      "<li id=\"drag_delta\" draggable=\"true\">Дельта</li></ul>"
      "<div id=\"trash\" dropzone>Корзина</div></div>"
      "<p>Перенос: <span id=\"drop_result\"></span></p>"
      "</div>"
      // ---- message boxes
      "<div name=\"boxes\" id=\"panel_boxes\"><p>";
  for (const boxButton& b : boxButtonsShown) {
    html += "<button id=\"";
    html += b.id;
    html += "\">";
    html += b.label;
    html += "</button> ";
  }
  html +=
      "</p><p>Ответ: <span id=\"box_answer\"></span></p></div>"
      "</div>"
      // The page's context menu and the tooltips.
      "<menu id=\"context_menu\">"
      "<li id=\"ctx_copy\">Копировать</li><li id=\"ctx_paste\">Вставить</li>"
      "<li id=\"ctx_delete\">Удалить</li></menu>"
      "<popup id=\"tip_terminals\">Настройка терминалов</popup>"
      "<popup id=\"tip_label_text\">Подсказка появляется, пока указатель над элементом</popup>"
      "</body></html>";
  return html;
}

galleryController::galleryController(windowHost& windows, windowId window, reporter report)
    : windows_(windows), window_(window), report_(std::move(report)) {}

void galleryController::show(std::string_view id, std::string_view text) {
  document* doc = windows_.doc(window_);
  if (!doc) return;
  if (elementRef e = doc->byId(id)) e->setText(text);
}

void galleryController::status(const std::string& text, const std::string& line) {
  show("status", text);
  if (report_) report_(line);
}

bool galleryController::handle(uiEvent& event) {
  if (!event.source) return false;
  element& source = *event.source;
  std::string id = idOf(source);
  switch (event.kind) {
    case eventKind::buttonClick:
      return buttonClicked(source);
    case eventKind::editValueChanged:
      valueChanged(source);
      return isEchoedInput(id);
    case eventKind::selectionChanged: {
      if (!event.target) return false;
      std::string value(event.target->attribute("value").value_or(event.target->text()));
      show("selection", id + ": " + value);
      status("Выбрано в " + id + ": " + value, "selection of " + id + ": " + value);
      return true;
    }
    case eventKind::menuItemClick: {
      std::string text = source.text();
      show("menu_choice", id + " (" + text + ")");
      status("Выбран пункт меню: " + text, "menu item " + id);
      return true;
    }
    case eventKind::elementExpanded: {
      if (source.hasAttribute("panel")) {
        std::string panel(source.attribute("panel").value_or(""));
        status("Вкладка: " + source.text(), "tab " + panel);
      } else if (source.parent() && idOf(*source.parent()) == "expandable") {
        show("expanded_item", id);
        status("Открыт пункт: " + id, "expanded " + id);
      }
      return true;
    }
    case eventKind::tableRowClick:
    case eventKind::tableRowDoubleClick: {
      if (id != "big_grid" || !event.target) return false;
      std::string name = event.target->child(0) ? event.target->child(0)->text() : "";
      show("grid_row", name);
      status("Строка таблицы: " + name, "grid row " + name);
      return true;
    }
    case eventKind::tableHeaderClick:
      if (id != "big_grid") return false;
      status("Сортировка по столбцу " + std::to_string(event.index),
             "grid sorted by column " + std::to_string(event.index));
      return false;
    case eventKind::drop:
      if (!event.target) return false;
      return dropped(*event.target, source, event.index);
    case eventKind::contextmenu:
      return event.target && contextMenu(*event.target);
    case eventKind::key:
      return forwardTabKey(event);
    default:
      return false;
  }
}

bool galleryController::buttonClicked(element& source) {
  std::string id = idOf(source);
  document* doc = windows_.doc(window_);
  if (!doc) return false;
  if (const boxButton* b = findBoxButton(id)) {
    boxAnswer answer = showMessageBox(windows_, window_, b->text, boxCaption, b->buttons, b->icon);
    std::string answerId = boxButtonId(answer);
    show("box_answer", id + ": " + answerId);
    status("Ответ окна сообщения: " + answerId, "message box " + id + ": " + answerId);
    return true;
  }
  if (id == "form_ok") {
    std::string hex = doc->byId("hex_input") ? doc->byId("hex_input")->value() : "";
    std::string name = doc->byId("name_input") ? doc->byId("name_input")->value() : "";
    std::size_t passwordLength =
        doc->byId("password_input") ? doc->byId("password_input")->value().size() : 0;
    std::string result = "hex_input=" + hex + "; name_input=" + name +
                         "; password_input=" + std::to_string(passwordLength) + " байт";
    show("form_result", result);
    status("Форма отправлена", "form submitted: hex_input=" + hex + " name_input=" + name);
    return true;
  }
  if (id == "form_reset") {
    for (const char* name : echoedInputs) {
      if (elementRef e = doc->byId(name)) e->setValue("");
      show(std::string("got_") + name, "");
    }
    show("form_result", "");
    status("Форма очищена", "form cleared");
    return true;
  }
  if (id == "show_password") {
    bool shown = source.hasState(stateChecked);
    if (elementRef input = doc->byId("password_input"))
      input->setAttribute("type", shown ? "text" : "password");
    status(shown ? "Пароль виден" : "Пароль скрыт",
           std::string("password ") + (shown ? "shown" : "hidden"));
    return true;
  }
  if (id.starts_with("check_") || id.starts_with("radio_")) {
    std::string checked;
    for (const char* name : {"check_one", "check_two", "radio_x86", "radio_uefi", "radio_pi"}) {
      elementRef e = doc->byId(name);
      if (e && e->hasState(stateChecked))
        checked += (checked.empty() ? "" : " ") + std::string(name);
    }
    show("check_result", checked);
    status("Отмечено: " + checked, "checked: " + checked);
    return true;
  }
  return false;
}

void galleryController::valueChanged(element& source) {
  std::string id = idOf(source);
  if (!isEchoedInput(id)) return;
  std::string value = source.value();
  if (id == "password_input") {
    // The password itself stays out of the page and the log; its length tells that
    // it arrived.
    std::string length = std::to_string(value.size()) + " байт";
    show("got_password_input", length);
    status("Значение password_input: " + length,
           "value of password_input: " + std::to_string(value.size()) + " bytes");
    return;
  }
  show("got_" + id, value);
  status("Значение " + id + ": " + value, "value of " + id + ": " + value);
}

bool galleryController::dropped(element& zone, element& dragged, std::int64_t index) {
  std::string zoneId = idOf(zone);
  std::string draggedId = idOf(dragged);
  element* from = dragged.parent();
  bool fromList = from && (idOf(*from) == "list_left" || idOf(*from) == "list_right");
  if (!fromList) return false;
  if (zoneId == "trash") {
    dragged.remove();
    show("drop_result", draggedId + " → trash");
    status("Удалено: " + draggedId, "dropped " + draggedId + " on trash");
    return true;
  }
  if (zoneId != "list_left" && zoneId != "list_right") return false;
  elementRef moved = dragged.detach();
  // The index counts the zone's children without the dragged one, which is what the
  // zone holds now that it is out.
  std::size_t at =
      index < 0 ? zone.childCount() : std::min<std::size_t>(std::size_t(index), zone.childCount());
  zone.insert(moved, at);
  std::string where = zoneId + "[" + std::to_string(at) + "]";
  show("drop_result", draggedId + " → " + where);
  status("Перенесено: " + draggedId + " → " + where, "dropped " + draggedId + " on " + where);
  return true;
}

bool galleryController::contextMenu(element& target) {
  document* doc = windows_.doc(window_);
  if (!doc) return false;
  elementRef area = doc->byId("context_area");
  elementRef menu = doc->byId("context_menu");
  if (!area || !menu || (area.get() != &target && !area->contains(target))) return false;
  menu->setStates(statePopup, 0);
  if (eventRouter* router = windows_.router(window_))
    router->postEvent(uiEvent::behavior(eventKind::popupReady, *menu));
  status("Контекстное меню открыто", "context menu shown");
  return true;
}

// Ctrl+Tab switches the tabs wherever the focus is: the key reaches the tab set's
// behaviour only from inside it, so from elsewhere it is sent on to the tab set.
bool galleryController::forwardTabKey(uiEvent& event) {
  if (event.key != "Tab" || !event.mods.ctrl || event.mods.alt) return false;
  document* doc = windows_.doc(window_);
  eventRouter* router = windows_.router(window_);
  if (!doc || !router) return false;
  elementRef tabs = doc->byId("gallery_tabs");
  if (!tabs || (event.target && tabs->contains(*event.target))) return false;
  uiEvent forwarded = event;
  forwarded.target = tabs;
  forwarded.source = tabs;
  return router->sendEvent(std::move(forwarded));
}

int runGallery(consoleUiOptions options) {
  blockStopSignals();
  eventLoop loop;
  auto doc = std::make_unique<document>();
  doc->load(galleryHtml());
  consoleUi ui(loop, options);
  std::cout << "Zelvar Center: gallery\n"
            << "  skin directory:    "
            << (options.skinDirectory.empty() ? "(none)" : options.skinDirectory) << "\n";
  if (!ui.createMainWindow(std::move(doc), gallerySheets())) return 3;
  windowHost& windows = ui.windows();
  windowId main = windows.mainWindow();
  galleryController controller(windows, main, [](const std::string& line) {
    std::cout << "gallery: " << line << std::endl;
    logMessage("gallery: %s", line.c_str());
  });
  windows.setEventHandler(main, [&controller](uiEvent& e) { return controller.handle(e); });
  return ui.runMessageLoop();
}

}  // namespace zv
