#include "zvc/ui/messageBox.h"

#include "zvc/ui/startup.h"

#include <algorithm>
#include <istream>
#include <optional>
#include <ostream>
#include <string_view>
#include <utility>
#include <vector>

namespace zv {
namespace {

messageBoxHandler currentHandler;

boxAnswer defaultAnswer(boxButtons buttons) {
  switch (buttons) {
    case boxButtons::ok:
    case boxButtons::okCancel:
      return boxAnswer::ok;
    case boxButtons::yesNo:
    case boxButtons::yesNoCancel:
      return boxAnswer::yes;
    case boxButtons::retryCancel:
      return boxAnswer::retry;
  }
  return boxAnswer::ok;
}

const char* choiceText(boxButtons buttons) {
  switch (buttons) {
    case boxButtons::ok:
      return "";
    case boxButtons::okCancel:
      return "[OK/Отмена]";
    case boxButtons::yesNo:
      return "[Да/Нет]";
    case boxButtons::yesNoCancel:
      return "[Да/Нет/Отмена]";
    case boxButtons::retryCancel:
      return "[Повтор/Отмена]";
  }
  return "";
}

// ASCII and Cyrillic capitals (А to Я, in UTF-8) to small letters.
std::string foldCase(const std::string& word) {
  std::string folded;
  for (std::size_t i = 0; i < word.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(word[i]);
    unsigned char next = i + 1 < word.size() ? static_cast<unsigned char>(word[i + 1]) : 0;
    if (c >= 'A' && c <= 'Z') {
      folded += char(c - 'A' + 'a');
    } else if (c == 0xD0 && next >= 0x90 && next <= 0x9F) {
      folded += char(0xD0);
      folded += char(next + 0x20);
      ++i;
    } else if (c == 0xD0 && next >= 0xA0 && next <= 0xAF) {
      folded += char(0xD1);
      folded += char(next - 0x20);
      ++i;
    } else {
      folded += char(c);
    }
  }
  return folded;
}

std::optional<boxAnswer> answerOfWord(const std::string& text) {
  std::string word = foldCase(text);
  static const std::pair<const char*, boxAnswer> words[] = {
      {"y", boxAnswer::yes},         {"yes", boxAnswer::yes},  {"д", boxAnswer::yes},
      {"да", boxAnswer::yes},        {"n", boxAnswer::no},     {"no", boxAnswer::no},
      {"н", boxAnswer::no},          {"нет", boxAnswer::no},   {"ok", boxAnswer::ok},
      {"ок", boxAnswer::ok},         {"c", boxAnswer::cancel}, {"cancel", boxAnswer::cancel},
      {"отмена", boxAnswer::cancel}, {"r", boxAnswer::retry},  {"retry", boxAnswer::retry},
      {"повтор", boxAnswer::retry}};
  for (auto [spelling, answer] : words)
    if (word == spelling) return answer;
  return std::nullopt;
}

}  // namespace

boxAnswer terminalMessageBox(const std::string& text, const std::string& caption,
                             boxButtons buttons, std::istream& in, std::ostream& out) {
  out << caption << ": " << text << std::endl;
  if (buttons == boxButtons::ok) return boxAnswer::ok;
  std::vector<boxAnswer> allowed = boxButtonSet(buttons);
  for (int attempt = 0; attempt < 3; ++attempt) {
    out << choiceText(buttons) << " " << std::flush;
    std::string line;
    if (!std::getline(in, line)) break;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    while (!line.empty() && line.front() == ' ') line.erase(0, 1);
    if (line.empty()) break;
    std::optional<boxAnswer> answer = answerOfWord(line);
    if (answer && std::find(allowed.begin(), allowed.end(), *answer) != allowed.end())
      return *answer;
  }
  return defaultAnswer(buttons);
}

boxAnswer messageBox(const std::string& text, const std::string& caption, boxButtons buttons,
                     boxIcon icon) {
  if (currentHandler) return currentHandler(text, caption, buttons, icon);
  startupMessageBox(text, caption);
  return defaultAnswer(buttons);
}

void setMessageBoxHandler(messageBoxHandler handler) {
  currentHandler = std::move(handler);
}

}  // namespace zv
