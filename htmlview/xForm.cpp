// x-form: Enter inside the form clicks its default button, the element matching
// "[default],[role="default-button"]". Enter in a multi-line editor stays a line break,
// and on a button it is the button's own click; a disabled default button does nothing.
#include "htmlview/controlActions.h"
#include "htmlview/eventRouter.h"
#include "htmlview/standardBehaviors.h"

namespace zv {
namespace {

class xForm final : public behavior {
 public:
  // Enter comes to the form as a key event, so it takes keys besides behaviour events.
  xForm() : behavior("x-form", groupKey | groupBehaviorEvents) {}

  bool handleEvent(element& form, uiEvent& event, eventRouter& router) override {
    if (event.kind != eventKind::key || event.key != "Enter" || event.mods.ctrl || event.mods.alt) {
      return false;
    }
    const element& from = *event.target;
    if (from.tag() == "textarea" || from.tag() == "plaintext" || isButton(from)) return false;
    elementRef button = form.selectFirst("[default],[role=\"default-button\"]");
    if (!button || button->hasState(stateDisabled)) return false;
    router.postEvent(uiEvent::behavior(eventKind::buttonClick, *button));
    return true;
  }
};

}  // namespace

behavior& xFormBehavior() {
  static xForm instance;
  return instance;
}

}  // namespace zv
