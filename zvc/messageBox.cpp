#include "zvc/messageBox.h"

#include "zvc/configurator.h"

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

}  // namespace

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
