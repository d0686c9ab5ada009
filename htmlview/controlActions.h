#pragma once
// What the document's controls do by themselves with an input event that no behaviour
// and not the application handler took (the last step of an event's way,
// eventRouter.h). One rule per input kind; the behaviour events they raise are posted.
//
// | Input | Control | Action | Raises |
// |---|---|---|---|
// | click | the nearest button (button, input of type button, checkbox, radio, submit, reset) or
// element with href, not disabled | checkbox: checked toggles; radio: checked, and the other radios
// of the same name and the same form (or of no form) lose it; a button holding a menu or popup
// child (a menu button): the popup is shown, or hidden when shown | buttonClick (href for a link);
// for a menu button popupReady or popupDismissed instead | | input | a text control (input,
// textarea, plaintext), not disabled or read-only (state or attribute) | the value becomes the
// event's | editValueChanged | | select | a list or select, and a row of it that is not disabled |
// the row becomes its only current row; a select takes the option's value (attribute, else text),
// another list the row's value attribute when it has one | selectionChanged, when the row was not
// current | | key | a list: ArrowUp, ArrowDown, PageUp, PageDown, Home, End without Ctrl or Alt |
// as select, for the row the key leads to (rows.h), scrolled into view | selectionChanged | |
// menuitem | a menu item, not disabled | the shown popups holding it are hidden | menuItemClick,
// then popupDismissed for each popup hidden | | popupClosed | the popup | its popup state is
// cleared | popupDismissed |
//
// A popup's owner (the source of popupReady and popupDismissed) is the button it stands
// in, else the popup itself (a drop-down select, a context menu).
//
// Thread safety: the document's thread.

#include "htmlview/events.h"

namespace zv {

class eventRouter;

// Runs the rule for the event's kind; true when a control acted.
bool runControlAction(uiEvent& event, eventRouter& router);

// A button as the click rule sees it.
bool isButton(const element& e);
// The element whose popup this is (see above).
element& popupOwner(element& popup);

}  // namespace zv
