// The markup of the DHCP options window: the table rows and the editors of an option.

#include "zvc/services/dhcpOptionsDialog.h"

#include "htmlview/parser.h"
#include "platform/textConv.h"
#include "zvc/services/dhcpValues.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {
namespace {

constexpr int32_t newCode = dhcpOption::newOptionCode;

std::vector<std::string> addressesOf(const dhcpOption& option) {
  std::vector<std::string> out;
  std::string_view bytes = option.bytes();
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    out.push_back(std::to_string(uint8_t(bytes[i])) + "." + std::to_string(uint8_t(bytes[i + 1])) +
                  "." + std::to_string(uint8_t(bytes[i + 2])) + "." +
                  std::to_string(uint8_t(bytes[i + 3])));
  }
  return out;
}

// The text a single-input editor starts with.
std::string valueText(const dhcpOption& option, int32_t type) {
  if (option.length == 0) return {};
  switch (type) {
    case dhcpTypeIp: {
      std::vector<std::string> a = addressesOf(option);
      return a.empty() ? std::string() : a.front();
    }
    case dhcpTypeBin:
      return binaryText(option.bytes());
    default:
      return toUtf8(optionValueText(option, u" "));
  }
}

void appendInput(std::string& html, const char* id, std::string_view value, const char* attrs) {
  html += "<input type=\"text\" id=\"";
  html += id;
  html += "\" ";
  html += attrs;
  html += " value=\"";
  appendEscaped(html, value, true);
  html += "\">";
}

void appendCaption(std::string& html, std::string_view caption) {
  html += "<div class=\"dhcp_caption\">";
  html += caption;  // the captions are the program's own markup
  html += "</div>";
}

void appendStrEditor(std::string& html, const std::string& value, const char* attrs) {
  appendCaption(html, "Строковое значение:");
  appendInput(html, "str_editValue", value, attrs);
}

}  // namespace

int32_t dhcpTypeOfCaption(std::string_view caption) {
  for (std::size_t i = 0; i < dhcpTypeCaptions.size(); ++i)
    if (caption == dhcpTypeCaptions[i]) return int32_t(i) + dhcpTypeIp;
  return dhcpTypeNone;
}

std::string dhcpCodeText(int32_t code) {
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "%03d", code);
  return text.data();
}

std::optional<int32_t> dhcpSmallNumber(std::string_view text, std::size_t digits) {
  if (text.empty() || text.size() > digits) return std::nullopt;
  int32_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

int32_t dhcpEditedType(const dhcpOption& option) {
  int32_t type = option.type != dhcpTypeNone ? option.type : standardOptionType(option.code);
  return type >= dhcpTypeIp && type <= dhcpTypeBin ? type : dhcpTypeBin;
}

std::string dhcpOptionRowHtml(int32_t code, bool set, std::u16string_view name) {
  std::string num = std::to_string(code);
  std::string html = "<tr num=\"" + num + "\"><td><button type=\"checkbox\" num=\"" + num + "\"";
  if (set) html += " checked";
  html += "></button><span name=\"name\">";
  appendEscaped(html, toUtf8(name), false);
  html += "</span></td></tr>";
  return html;
}

std::string dhcpValueEditorHtml(int32_t code, int32_t type, const dhcpOption& option) {
  std::string html;
  std::string text = valueText(option, type);
  switch (code) {
    case 12:
      appendStrEditor(html, text, "maxlength=\"64\" filter=\"0~9a~zA~Z._-\"");
      return html;
    case 18:
      // The password itself is never shown again: only its digest is stored.
      appendCaption(html, "Установить<br>новый&nbsp;пароль:");
      html +=
          "<div><input type=\"password\" id=\"pass_editValue\" maxlength=\"16\" value=\"\"> "
          "<button id=\"view\">view</button></div>";
      appendCaption(html, "Хэш-функция<br>от пароля:");
      appendInput(html, "str_editValue", text, "maxlength=\"32\" readonly");
      return html;
    case 26:
      appendCaption(html, "Числовое значение:");
      appendInput(html, "u16_editValue", text, "maxlength=\"10\" filter=\"0~9\"");
      return html;
    case 66:
      appendInput(html, "str_editValue", text, "maxlength=\"64\" filter=\"a~zA~Z0~9.-_\"");
      html +=
          "<div class=\"dhcp_note\">Лучше указывать здесь IP-адрес сервера, не имя. Многие "
          "прошивки сетевых карт понимают только IP, но не понимают DNS-имя.</div>";
      return html;
    case 67:
      appendStrEditor(html, text, "maxlength=\"64\" size=\"40\" filter=\"a~zA~Z0~9.-\\/\"");
      return html;
    default:
      break;
  }
  switch (type) {
    case dhcpTypeIp:
      appendCaption(html, "IP-адрес:");
      appendInput(html, "ip_editValue", text, "maxlength=\"15\" filter=\"0~9.\"");
      break;
    case dhcpTypeIpList:
      appendCaption(html, "IP-адрес:");
      html += "<div>";
      appendInput(html, "ip_editValue", "", "maxlength=\"15\" filter=\"0~9.\"");
      html +=
          " <button id=\"add_ip\">Добавить</button></div><div><widget type=\"select\" "
          "id=\"ip_list\" class=\"dhcp_ip_select\">";
      for (const std::string& a : addressesOf(option)) html += "<option>" + a + "</option>";
      html +=
          "</widget><div><button id=\"remove_ip\">Удалить</button> <button "
          "id=\"up_ip\">Вверх</button> <button id=\"down_ip\">Вниз</button></div></div>";
      break;
    case dhcpTypeStr:
      appendStrEditor(html, text, "maxlength=\"64\" filter=\"a~zA~Z0~9.-\"");
      break;
    case dhcpTypeU8:
      appendCaption(html, "Байт");
      appendInput(html, "u8_editValue", text, "maxlength=\"3\" filter=\"0~9\"");
      break;
    case dhcpTypeU16:
      appendCaption(html, "Слово (2 байта)");
      appendInput(html, "u16_editValue", text, "maxlength=\"5\" filter=\"0~9\"");
      break;
    case dhcpTypeU32:
      appendCaption(html, "Длинное");
      appendInput(html, "u32_editValue", text, "maxlength=\"10\" filter=\"0~9\"");
      break;
    default:
      appendCaption(html, "Данные:");
      html += "<plaintext id=\"bin_editValue\" readonly>";
      appendEscaped(html, text, false);
      html += "</plaintext>";
      appendCaption(html, "Выбрать файл:");
      html += "<button id=\"binarySelect\">...</button>";
      break;
  }
  return html;
}

std::string dhcpOptionEditorHtml(const dhcpEditorView& view) {
  std::string html = "<div class=\"dhcp_editor_outer\"><div class=\"dhcp_editor\">";
  const predefinedDhcpOption* predefined = predefinedOption(view.code);
  int32_t type = dhcpEditedType(view.option);
  if (view.code == newCode) {
    appendCaption(html, "Номер:");
    appendInput(html, "option_num", "", "maxlength=\"3\" filter=\"0~9\"");
    appendCaption(html, "Название:");
    appendInput(html, "option_name", "", "maxlength=\"64\"");
    appendCaption(html, "Тип:");
    html += "<select id=\"option_type\">";
    for (std::size_t i = 0; i < dhcpTypeCaptions.size(); ++i)
      html += "<option num=\"" + std::to_string(i + 1) + "\">" + dhcpTypeCaptions[i] + "</option>";
    html += "</select><div id=\"editor_new\">";
    html += dhcpValueEditorHtml(view.code, dhcpTypeIp, view.option);
    html += "</div>";
  } else {
    if (!predefined) {
      appendCaption(html, "Название:");
      appendInput(html, "option_name", toUtf8(view.option.name), "maxlength=\"64\"");
    }
    html += dhcpValueEditorHtml(view.code, type, view.option);
  }
  if (predefined && predefined->autoOffered) {
    html += "<button type=\"checkbox\" id=\"bAuto\"";
    if (view.option.isAuto) html += " checked";
    html += ">Автоопределение сервером</button>";
  }
  if (view.terminalMode && view.source != optionSource::none) {
    html += "<div class=\"dhcp_editor_source\">Значение: <span id=\"resultSource\">";
    appendEscaped(html, toUtf8(optionSourceText(view.source)), false);
    html += "</span></div>";
  }
  html += "</div></div>";
  return html;
}

}  // namespace zv
