#pragma once
// Message boxes of the console. Until the user-interface host installs its own
// handler, a box goes to standard error and the diagnostic log and is answered with
// the default button. Tests install a handler that records and answers from a script.
//
// User-interface thread only.

#include "htmlview/messageBoxWindow.h"

#include <functional>
#include <iosfwd>
#include <string>

namespace zv {

// boxButtons, boxIcon and boxAnswer come from the window host's boxes.

using messageBoxHandler = std::function<boxAnswer(const std::string& text,
                                                  const std::string& caption, boxButtons, boxIcon)>;

// Shows a box owned by the main window (or none before it exists) and returns the answer.
boxAnswer messageBox(const std::string& text, const std::string& caption,
                     boxButtons buttons = boxButtons::ok, boxIcon icon = boxIcon::none);

// A box asked on a terminal, for the boxes that come before the user interface when
// standard input is one: caption and text on `out`, then the answer read from `in`
// ("да"/"y", "нет"/"n", "ok", "отмена"/"c", "повтор"/"r", case-blind). An empty line
// or the end of input chooses the default button; other lines ask again, three times
// at most. A box with OK alone reads nothing.
boxAnswer terminalMessageBox(const std::string& text, const std::string& caption,
                             boxButtons buttons, std::istream& in, std::ostream& out);

// Installs the handler; an empty one restores the console default.
void setMessageBoxHandler(messageBoxHandler handler);

constexpr const char* errorCaption = "Ошибка";
constexpr const char* warningCaption = "Внимание";

}  // namespace zv
