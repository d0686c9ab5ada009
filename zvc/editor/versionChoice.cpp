#include "zvc/editor/versionChoice.h"

#include "common/versionSpec.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"
#include "zvc/ui/messageBox.h"

#include <cerrno>

namespace zv {

formBox boxesOver(windowHost& windows, windowId window) {
  return
      [&windows, window](const std::string& text, const std::string& caption, boxButtons buttons) {
        boxIcon icon = buttons == boxButtons::yesNo || buttons == boxButtons::yesNoCancel
                           ? boxIcon::question
                       : caption == errorCaption ? boxIcon::error
                                                 : boxIcon::warning;
        return showMessageBox(windows, window, text, caption, buttons, icon);
      };
}

bool readVersionSelector(windowHost& windows, windowId window, const installedVersions& versions,
                         const versionSpec*& spec) {
  document* doc = windows.doc(window);
  elementRef select = doc ? doc->selectFirst(std::string("select#") + versionSelectId) : nullptr;
  if (!select) {
    errno = ENOENT;
    ZV_INTERNAL_ERROR();
    return false;
  }
  std::string value = select->value();
  std::u16string caption =
      value == "noversion" ? std::u16string(noVersionCaption) : fromUtf8(value);
  const versionSpec* chosen = nullptr;
  if (!readVersionChoice(versions, caption, chosen, boxesOver(windows, window))) return false;
  spec = chosen;
  return true;
}

void showVersionChoice(document& doc, const versionSpec* spec) {
  elementRef select = doc.selectFirst(std::string("select#") + versionSelectId);
  if (!select) return;
  std::string value = spec ? spec->name : "noversion";
  std::uint32_t current = stateCurrent;
  for (elementRef& option : select->selectAll("option")) {
    bool it = option->attribute("value").value_or("") == value;
    option->setStates(it ? current : 0, it ? 0 : current);
  }
  select->setValue(value);
}

}  // namespace zv
