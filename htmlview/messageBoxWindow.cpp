#include "htmlview/messageBoxWindow.h"

#include "htmlview/parser.h"
#include "htmlview/windowHost.h"

#include <algorithm>

namespace zv {
namespace {

struct buttonRow {
  boxAnswer answer;
  const char* id;
  const char* label;
};

const buttonRow buttonRows[] = {
    {boxAnswer::ok, "IDOK", "ОК"},           {boxAnswer::cancel, "IDCANCEL", "Отмена"},
    {boxAnswer::yes, "IDYES", "Да"},         {boxAnswer::no, "IDNO", "Нет"},
    {boxAnswer::retry, "IDRETRY", "Повтор"},
};

const buttonRow& rowOf(boxAnswer answer) {
  for (const buttonRow& row : buttonRows)
    if (row.answer == answer) return row;
  return buttonRows[0];
}

const char* iconClass(boxIcon icon) {
  switch (icon) {
    case boxIcon::none:
      return "";
    case boxIcon::error:
      return "icon-error";
    case boxIcon::warning:
      return "icon-warning";
    case boxIcon::question:
      return "icon-question";
    case boxIcon::information:
      return "icon-information";
  }
  return "";
}

constexpr const char* boxStyle =
    "body.messagebox{margin:0;padding:16px 16px 12px;box-sizing:border-box;height:100%;"
    "display:flex;flex-direction:column;font:13px sans-serif}"
    ".box-main{display:flex;gap:14px;align-items:flex-start;flex:1;min-height:0;overflow:auto}"
    ".box-icon{flex:none;width:32px;height:32px;border-radius:50%;color:#fff;text-align:center;"
    "font:bold 20px/32px sans-serif}"
    ".icon-error .box-icon{background:#c62828}.icon-error .box-icon::before{content:'\\2715'}"
    ".icon-warning .box-icon{background:#f9a825;border-radius:4px}"
    ".icon-warning .box-icon::before{content:'!'}"
    ".icon-question .box-icon{background:#1565c0}.icon-question .box-icon::before{content:'?'}"
    ".icon-information .box-icon{background:#1565c0}"
    ".icon-information .box-icon::before{content:'i'}"
    ".box-text{line-height:1.4;overflow-wrap:anywhere;padding-top:6px}"
    ".box-buttons{display:flex;justify-content:flex-end;gap:8px;margin-top:14px}"
    ".box-buttons button{min-width:80px;padding:4px 12px}";

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  while (true) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.push_back(line);
    if (end == std::string_view::npos) return out;
    text.remove_prefix(end + 1);
  }
}

// Characters of UTF-8 text: bytes that do not continue a sequence.
int characters(std::string_view line) {
  return int(std::count_if(line.begin(), line.end(),
                           [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// A size that holds the text without scrolling in most cases: about 7 pixels a
// character, lines wrapped at the width.
void boxSize(std::string_view text, int& width, int& height) {
  int longest = 0;
  std::vector<std::string_view> all = lines(text);
  for (std::string_view line : all) longest = std::max(longest, characters(line));
  width = std::clamp(longest * 7 + 110, 320, 640);
  int charsPerLine = (width - 110) / 7;
  int shown = 0;
  for (std::string_view line : all) shown += 1 + characters(line) / charsPerLine;
  height = std::clamp(100 + shown * 19, 140, 600);
}

// The box's button the event is on; false when it is on none of the set.
bool buttonOf(const uiEvent& e, const std::vector<boxAnswer>& set, boxAnswer& answer) {
  elementRef button = e.source ? e.source->closest("button[id]") : elementRef();
  if (!button) return false;
  std::optional<boxAnswer> named = boxAnswerOf(*button->attribute("id"));
  if (!named || std::find(set.begin(), set.end(), *named) == set.end()) return false;
  answer = *named;
  return true;
}

}  // namespace

std::vector<boxAnswer> boxButtonSet(boxButtons buttons) {
  switch (buttons) {
    case boxButtons::ok:
      return {boxAnswer::ok};
    case boxButtons::okCancel:
      return {boxAnswer::ok, boxAnswer::cancel};
    case boxButtons::yesNo:
      return {boxAnswer::yes, boxAnswer::no};
    case boxButtons::yesNoCancel:
      return {boxAnswer::yes, boxAnswer::no, boxAnswer::cancel};
    case boxButtons::retryCancel:
      return {boxAnswer::retry, boxAnswer::cancel};
  }
  return {boxAnswer::ok};
}

const char* boxButtonId(boxAnswer answer) {
  return rowOf(answer).id;
}

std::optional<boxAnswer> boxAnswerOf(std::string_view buttonId) {
  for (const buttonRow& row : buttonRows)
    if (buttonId == row.id) return row.answer;
  return std::nullopt;
}

std::optional<boxAnswer> boxCloseAnswer(boxButtons buttons) {
  switch (buttons) {
    case boxButtons::ok:
      return boxAnswer::ok;
    case boxButtons::yesNo:
      return std::nullopt;
    case boxButtons::okCancel:
    case boxButtons::yesNoCancel:
    case boxButtons::retryCancel:
      return boxAnswer::cancel;
  }
  return std::nullopt;
}

std::string messageBoxHtml(std::string_view text, boxButtons buttons, boxIcon icon) {
  std::string html = "<html><head><style>";
  html += boxStyle;
  html += "</style></head><body class=\"messagebox";
  if (icon != boxIcon::none) {
    html += ' ';
    html += iconClass(icon);
  }
  html += "\"><div class=\"box-main\">";
  if (icon != boxIcon::none) html += "<div class=\"box-icon\"></div>";
  html += "<div class=\"box-text\">";
  bool first = true;
  for (std::string_view line : lines(text)) {
    if (!first) html += "<br>";
    first = false;
    appendEscaped(html, line, false);
  }
  html += "</div></div><div class=\"box-buttons\">";
  for (boxAnswer answer : boxButtonSet(buttons)) {
    const buttonRow& row = rowOf(answer);
    html += "<button id=\"";
    html += row.id;
    html += "\">";
    html += row.label;
    html += "</button>";
  }
  html += "</div></body></html>";
  return html;
}

boxAnswer showMessageBox(windowHost& windows, windowId owner, std::string_view text,
                         std::string_view caption, boxButtons buttons, boxIcon icon) {
  std::vector<boxAnswer> set = boxButtonSet(buttons);
  std::optional<boxAnswer> onClose = boxCloseAnswer(buttons);
  // Without a way to ask, the box answers what closing it would.
  boxAnswer fallback = onClose.value_or(boxAnswer::no);

  windowSpec spec;
  spec.title = std::string(caption);
  spec.owner = windows.isOpen(owner) ? owner : 0;
  spec.modal = true;
  boxSize(text, spec.width, spec.height);
  auto doc = std::make_unique<document>();
  doc->load(messageBoxHtml(text, buttons, icon));
  if (elementRef first = doc->byId(boxButtonId(set.front()))) first->focus();
  windowId box = windows.openWindow(std::move(spec), std::move(doc));
  if (box == 0) return fallback;

  auto choose = [&windows, box](boxAnswer answer) { windows.endModal(box, int(answer)); };
  windows.setEventHandler(box, [choose, set, onClose](uiEvent& e) {
    boxAnswer pressed = set.front();
    bool onButton = buttonOf(e, set, pressed);
    if (e.kind == eventKind::buttonClick) {
      if (onButton) choose(pressed);
      return onButton;
    }
    if (e.kind == eventKind::key && e.key == "Enter") {
      choose(pressed);  // the focused button, else the default one
      return true;
    }
    if (e.kind == eventKind::key && e.key == "Escape") {
      if (onClose) choose(*onClose);
      return true;
    }
    return false;
  });
  windows.setCloseHandler(box, [choose, onClose] {
    if (onClose) choose(*onClose);
  });
  std::optional<int> answer = windows.runModal(box);
  return answer ? boxAnswer(*answer) : fallback;
}

bool internalErrorWindow::askRetry(const std::string& text) {
  return showMessageBox(windows_, windows_.activeWindow(), text, "INTERNAL ERROR",
                        boxButtons::retryCancel, boxIcon::error) == boxAnswer::retry;
}

}  // namespace zv
