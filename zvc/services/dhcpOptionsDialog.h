#pragma once
// The DHCP options window "ZVCDHCPOptions": edits the defaults list of DHCP options or
// one terminal's list, one option at a time — the table "dhcp_options" of every option
// that applies, the editor of the selected option (its inputs follow the option's code
// and type), and save, restore and close.
//
// User-interface thread only. The call runs a nested modal loop until the window is gone.

#include "common/optionsDHCP.h"
#include "htmlview/windowHost.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zv {

struct terminal;

struct dhcpDialogHooks {
  // The file chooser for a binary value: the path chosen, empty when cancelled. Empty:
  // the console's chooser of server files (zvc/ui/fileChooser.h), from "/".
  std::function<std::string(windowId owner)> chooseFile;
};

// The pieces of the window's document, built from values alone. What the editor shows
// for an option: its code, the resolved record and where it comes from.
// The captions of the type selector, in the order of the types.
inline constexpr std::array<const char*, 7> dhcpTypeCaptions = {
    "IP-адрес",        "Список IP-адресов", "Строка",         "Байт",
    "Слово (2 байта)", "Длинное",           "Бинарные данные"};

// The type of a selector caption; dhcpTypeNone for any other text.
int32_t dhcpTypeOfCaption(std::string_view caption);
// An option number as the table shows it ("%03d").
std::string dhcpCodeText(int32_t code);
// A decimal number of at most `digits` digits; nullopt for anything else.
std::optional<int32_t> dhcpSmallNumber(std::string_view text, std::size_t digits);

// The type an option is edited as: its own, else the standard one of its code, else
// raw bytes.
int32_t dhcpEditedType(const dhcpOption& option);

struct dhcpEditorView {
  int32_t code = 0;  // dhcpOption::newOptionCode for a new option
  dhcpOption option;
  optionSource source = optionSource::none;
  bool terminalMode = false;
};

// One table row: the code, its check box (checked when set) and the shown name.
std::string dhcpOptionRowHtml(int32_t code, bool set, std::u16string_view shownName);
// The value editor of a code and type, holding the record's value.
std::string dhcpValueEditorHtml(int32_t code, int32_t type, const dhcpOption& option);
// The whole editor of an option, inside its outer and inner blocks.
std::string dhcpOptionEditorHtml(const dhcpEditorView& view);

// Opens the window on the defaults (t == nullptr) or on the terminal's own list, with
// `firstCode` selected (0: none). Saves go to the defaults directory or the terminal's
// directory (a terminal's list is then read back into t->dhcp, option 12 taken over as
// its host; the defaults object is reloaded). The owner is disabled while it is open.
// True when something was saved or edits were left unsaved (also when they were then
// discarded by "No" or Escape: the caller shows the lists afresh either way).
bool openDhcpOptionsDialog(windowHost& windows, windowId owner, dhcpDefaults& defaults, terminal* t,
                           int32_t firstCode, const dhcpDialogHooks& hooks);

}  // namespace zv
