#pragma once
// The add-terminal and find-terminal windows: the form of four fields (MAC, IP, host,
// comment) in a modal window over the main window. The add window also has the ARP
// button, which completes the MAC or the address from the server's ARP table, and the
// version selector; it registers the terminal and closes. The find window stays open
// and selects each terminal it finds. What the buttons do is zvc/terminalForms; what
// the main list does afterwards comes in through terminalDialogHooks, so the windows
// know nothing of the list.
//
// User-interface thread only. Each call runs a nested modal loop until its window is
// gone.

#include "htmlview/windowHost.h"
#include "zvc/register/arpLookup.h"
#include "zvc/register/terminalForms.h"

#include <functional>
#include <string>

namespace zv {

struct consoleState;

struct terminalDialogHooks {
  // A terminal new to the register: the list inserts its row.
  std::function<void(terminal&)> insertRow;
  // The terminal becomes current as a click on its row makes it (its row scrolled into
  // view).
  std::function<void(terminal&)> makeCurrent;
  // The server's ARP table; the system's when empty.
  arpSource arp;
};

enum class terminalDialogKind { add, find };

// The window's document. `versionSelect` is the version selector's markup (add only).
std::string terminalDialogHtml(terminalDialogKind kind, const std::string& versionSelect);

// The add window, prefilled from the current terminal, with the default version. The
// new terminal (registered, its row inserted and selected), or null when the window was
// cancelled, the question answered No, or it could not be opened.
terminal* runAddTerminalDialog(windowHost& windows, windowId owner, consoleState& state,
                               const terminalDialogHooks& hooks);
// The find window, prefilled from the current terminal. Every terminal found is
// selected in the list; the window stays until it is cancelled or closed.
void runFindTerminalDialog(windowHost& windows, windowId owner, consoleState& state,
                           const terminalDialogHooks& hooks);

}  // namespace zv
