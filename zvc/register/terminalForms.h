#pragma once
// The logic of the add-terminal and find-terminal forms, free of any window: reading
// the four fields, registering a terminal typed in by hand, finding a registered one,
// and completing the MAC or the address from the server's ARP table. The dialogs
// (zvc/terminalDialogs) and zvctl's terminal commands both work through it, so they
// give the same answers and the same messages.
//
// Messages reach the user through a `formBox` the caller supplies: the dialogs show a
// box over their window, zvctl reports the text. Questions (the add confirmation) are
// Yes/No boxes answered the same way.
//
// User-interface thread only: it reads and changes the register.

#include "htmlview/messageBoxWindow.h"
#include "zvc/register/arpLookup.h"
#include "zvc/register/terminals.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zv {

class installedVersions;

// The texts of the form's inputs, as typed.
struct terminalFormText {
  std::u16string mac;
  std::u16string ip;
  std::u16string host;
  std::u16string comment;
};

// What the form describes: MAC, address, host and comment; the fields left empty are
// zero or empty.
struct formEntry {
  terminalID identity;
  std::u16string comment;
};

// Shows a message and gives the button chosen.
using formBox = std::function<boxAnswer(const std::string& text, const std::string& caption,
                                        boxButtons buttons)>;

// The inputs' limits and the characters they accept ("x~y" a range).
struct formField {
  const char* id;
  const char* label;
  std::size_t maxLength;
  const char16_t* filter;
};
inline constexpr formField macField{"MACValue", "MAC:", 17, u"0~9a~fA~F:"};
inline constexpr formField ipField{"IPValue", "IP:", 15, u"0~9."};
inline constexpr formField hostField{"hostValue", "Host:", 16, u"0~9a~zA~Z._-"};
inline constexpr formField commentField{"commentValue", "Comment:", 64,
                                        u"0~9a~zA~Z._- а~яёА~ЯЁіїє'"};

// The error lines of the form ("Неверный формат поля MAC.\n"...), all of them in one
// text; empty when the form is good, and `entry` then holds it.
std::string formErrors(const terminalFormText& form, formEntry& entry);
// formErrors, shown in one box "Ошибка" when there are any (the result is then none).
std::optional<formEntry> readForm(const terminalFormText& form, const formBox& box);

// The form prefilled from a terminal: its valid MAC, its usable address, its host.
terminalFormText prefilledForm(const terminal* current);

// A registered terminal that shares the MAC (both valid), the address (both usable) or
// the host (both set, ASCII case-blind) with the identity, or null.
terminal* findConflict(const terminalRegister& terminals, const terminalID& identity);
// The first registered terminal the entry names, each decided by the first rule that
// applies: MACs, else addresses, else hosts, else comments (both sides set).
terminal* findByEntry(const terminalRegister& terminals, const formEntry& entry);

// The text of the "Без версии" choice.
inline constexpr std::u16string_view noVersionCaption = u"Без версии";

// The version a selector's caption names: none for "Без версии", else its
// specification. Without one the user is asked for another version ("Для версии
// Zelvar ... dll не найдена...") and the result is false.
bool readVersionChoice(const installedVersions& versions, std::u16string_view caption,
                       const versionSpec*& spec, const formBox& box);

// Registers a terminal from the form: checks the form, the MAC and the conflicts, takes
// the chosen version, asks "Создать терминал с параметрами:..." and on Yes saves the
// terminal and appends it to the register (which offers it to the list); `added` then
// tells the list to insert its row.
enum class addOutcome {
  refused,   // a check failed and was shown; the form stays for correcting
  declined,  // the question was answered No: nothing was written
  failed,    // answered Yes, but the terminal could not be saved (reported)
  added,
};
struct addResult {
  addOutcome outcome = addOutcome::refused;
  terminal* added = nullptr;  // the registered terminal, for addOutcome::added
};
addResult addFromForm(terminalRegister& terminals, const installedVersions& versions,
                      const terminalFormText& form, std::u16string_view versionCaption,
                      const formBox& box, const std::function<void(terminal&)>& added = {});

// Finds the terminal the form describes; "Терминал с заданными параметрами не найден"
// when none. Null when the form was refused or nothing matched.
terminal* findFromForm(const terminalRegister& terminals, const terminalFormText& form,
                       const formBox& box);

// The ARP button: with a valid MAC the address is looked up and written into `form.ip`;
// with no MAC and an address the MAC is looked up and written into `form.mac`. False
// when the form was refused or the lookup failed (the form is then unchanged).
bool completeFromArp(terminalFormText& form, const arpSource& source, const formBox& box);

inline constexpr const char* notFoundText = "Терминал с заданными параметрами не найден";
inline constexpr const char* macRequiredText = "Не указано или некорректно указано поле MAC";
inline constexpr const char* conflictText =
    "В списке уже есть терминал, параметры которого совпадают хотя бы с одним из указанных "
    "параметров";
// Another program (a second console, zvctl) is changing the register and did not finish
// within the lock's patience.
inline constexpr const char* registerBusyText =
    "Список терминалов сейчас изменяет другая программа. Повторите попытку позже.";

}  // namespace zv
