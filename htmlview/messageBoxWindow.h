#pragma once
// Message boxes as modal windows of the window host.
//
// A box is a small document: the caption is the window's title, the text (line breaks
// kept) stands beside the icon, and the buttons have the ids IDOK, IDCANCEL, IDYES,
// IDNO and IDRETRY. The body has the class "messagebox" and the icon's class
// ("icon-error", "icon-warning", "icon-question", "icon-information"; none without an
// icon). The first button is the default: it has the focus, and Enter chooses it
// unless the focus is on another button.
//
// Closing a box (its close control, or Escape) answers Cancel when it has a Cancel
// button and OK for a box with OK alone. A Yes/No box cannot be closed: as with the
// system's boxes the user has to choose, so the close control and Escape do nothing.
// When the loop is told to quit while a box is open, the box answers what closing
// would, and No for Yes/No.
//
// User-interface thread only.

#include "platform/diagnostics.h"
#include "platform/eventLoop.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

class windowHost;

enum class boxButtons { ok, okCancel, yesNo, yesNoCancel, retryCancel };
enum class boxIcon { none, error, warning, question, information };
enum class boxAnswer { ok, cancel, yes, no, retry };

// The buttons of a set, in the order they are shown.
std::vector<boxAnswer> boxButtonSet(boxButtons buttons);
// "IDOK", "IDCANCEL", "IDYES", "IDNO", "IDRETRY".
const char* boxButtonId(boxAnswer answer);
std::optional<boxAnswer> boxAnswerOf(std::string_view buttonId);
// What closing the box answers; nullopt for a box that cannot be closed.
std::optional<boxAnswer> boxCloseAnswer(boxButtons buttons);

// The box's document.
std::string messageBoxHtml(std::string_view text, boxButtons buttons, boxIcon icon);

// Shows the box over `owner` (0: none) and waits for the answer.
boxAnswer showMessageBox(windowHost& windows, windowId owner, std::string_view text,
                         std::string_view caption, boxButtons buttons = boxButtons::ok,
                         boxIcon icon = boxIcon::none);

// The internal-error box ("INTERNAL ERROR", Retry and Cancel, error icon) over the
// window host's active window. Install it with setInternalErrorUi while the windows
// are shown; the host must outlive the installation.
class internalErrorWindow final : public internalErrorUi {
 public:
  explicit internalErrorWindow(windowHost& windows) : windows_(windows) {}
  bool askRetry(const std::string& text) override;

 private:
  windowHost& windows_;
};

}  // namespace zv
