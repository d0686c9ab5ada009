#pragma once
// Message boxes of the console. Until the user-interface host installs its own
// handler, a box goes to standard error and the diagnostic log and is answered with
// the default button. Tests install a handler that records and answers from a script.
//
// User-interface thread only.

#include "htmlview/messageBoxWindow.h"

#include <functional>
#include <string>

namespace zv {

// boxButtons, boxIcon and boxAnswer come from the window host's boxes.

using messageBoxHandler = std::function<boxAnswer(const std::string& text,
                                                  const std::string& caption, boxButtons, boxIcon)>;

// Shows a box owned by the main window (or none before it exists) and returns the answer.
boxAnswer messageBox(const std::string& text, const std::string& caption,
                     boxButtons buttons = boxButtons::ok, boxIcon icon = boxIcon::none);

// Installs the handler; an empty one restores the console default.
void setMessageBoxHandler(messageBoxHandler handler);

constexpr const char* errorCaption = "Ошибка";
constexpr const char* warningCaption = "Внимание";

}  // namespace zv
