#include "zvc/register/terminalForms.h"

#include "common/fstream.h"
#include "common/installPaths.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/registerLock.h"
#include "platform/textConv.h"
#include "zvc/register/versions.h"
#include "zvc/ui/messageBox.h"

#include <cerrno>

namespace zv {
namespace {

constexpr const char* formatError = "Неверный формат поля ";
constexpr const char* valueError = "Указан неверный ";

bool usableAddress(uint32_t ip) {
  return ip != 0 && ip != 0xFFFFFFFFu;
}

// Characters that would end or break a line of the small files the fields go to.
bool hasControlCharacter(std::u16string_view text) {
  for (char16_t c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

bool isAscii(std::u16string_view text) {
  for (char16_t c : text)
    if (c > 0x7E) return false;
  return true;
}

boxAnswer show(const formBox& box, const std::string& text, const char* caption,
               boxButtons buttons = boxButtons::ok) {
  if (box) return box(text, caption, buttons);
  return messageBox(text, caption, buttons);
}

}  // namespace

std::string formErrors(const terminalFormText& form, formEntry& entry) {
  entry = formEntry{};
  std::string errors;
  if (!form.mac.empty()) {
    auto mac = parseMac(std::u16string_view(form.mac), u':');
    if (!mac)
      errors += std::string(formatError) + "MAC.\n";
    else if (!mac->isValid())
      errors += std::string(valueError) +
                "MAC - 00:00:00:00:00:00, ff:ff:ff:ff:ff:ff, 44:44:44:44:44:44.\n";
    else
      entry.identity.mac = *mac;
  }
  if (!form.ip.empty()) {
    uint32_t address = 0;
    if (!isAscii(form.ip) || !parseIpv4(toUtf8(form.ip), address))
      errors += std::string(formatError) + "IP.\n";
    else if (!usableAddress(address))
      errors += std::string(valueError) + "IP - 0, 0xffffffff.\n";
    else
      entry.identity.ip = address;
  }
  // Host and comment are taken as written. The dialog's filters keep out everything
  // else; text from elsewhere that would break the one-line files they are kept in, or
  // that the "host" file cannot hold, is refused as a format error.
  if (hasControlCharacter(form.host) || !isAscii(form.host) ||
      form.host.size() > terminalID::hostLimit)
    errors += std::string(formatError) + "Host.\n";
  else
    entry.identity.host = toUtf8(form.host);
  if (hasControlCharacter(form.comment))
    errors += std::string(formatError) + "Comment.\n";
  else
    entry.comment = form.comment.substr(0, terminal::commentLimit);
  if (form.mac.empty() && form.ip.empty() && form.host.empty() && form.comment.empty())
    errors += "Не указаны параметры.\n";
  return errors;
}

std::optional<formEntry> readForm(const terminalFormText& form, const formBox& box) {
  formEntry entry;
  std::string errors = formErrors(form, entry);
  if (errors.empty()) return entry;
  show(box, errors, errorCaption);
  return std::nullopt;
}

terminalFormText prefilledForm(const terminal* current) {
  terminalFormText form;
  if (!current) return form;
  if (current->mac.isValid()) form.mac = current->mac.displayText();
  if (usableAddress(current->ip)) form.ip = widenAscii(ipv4Text(current->ip));
  form.host = fromUtf8(current->host);
  return form;
}

terminal* findConflict(const terminalRegister& terminals, const terminalID& identity) {
  for (terminal* t : terminals.all()) {
    if (t->mac.isValid() && identity.mac.isValid() && t->mac == identity.mac) return t;
    if (usableAddress(t->ip) && usableAddress(identity.ip) && t->ip == identity.ip) return t;
    if (!t->host.empty() && !identity.host.empty() && equalsNoCase(t->host, identity.host))
      return t;
  }
  return nullptr;
}

terminal* findByEntry(const terminalRegister& terminals, const formEntry& entry) {
  const terminalID& id = entry.identity;
  for (terminal* t : terminals.all()) {
    bool match = false;
    if (t->mac.isValid() && id.mac.isValid())
      match = t->mac == id.mac;
    else if (usableAddress(t->ip) && usableAddress(id.ip))
      match = t->ip == id.ip;
    else if (!t->host.empty() && !id.host.empty())
      match = equalsNoCase(t->host, id.host);
    else if (!t->comment.empty() && !entry.comment.empty())
      match = equalsNoCase(t->comment, entry.comment);
    if (match) return t;
  }
  return nullptr;
}

bool readVersionChoice(const installedVersions& versions, std::u16string_view caption,
                       const versionSpec*& spec, const formBox& box) {
  spec = nullptr;
  if (caption == noVersionCaption) return true;
  std::string name = toUtf8(caption);
  spec = versions.findVersionSpec(name);
  if (spec) return true;
  show(box, "Для версии Zelvar " + name + " dll не найдена. Выберите, пожалуйста, другую версию.",
       warningCaption);
  return false;
}

addResult addFromForm(terminalRegister& terminals, const installedVersions& versions,
                      const terminalFormText& form, std::u16string_view versionCaption,
                      const formBox& box, const std::function<void(terminal&)>& added) {
  auto entry = readForm(form, box);
  if (!entry) return {};
  const terminalID& id = entry->identity;
  if (!id.mac.isValid()) {
    show(box, macRequiredText, errorCaption);
    return {};
  }
  if (findConflict(terminals, id)) {
    show(box, conflictText, errorCaption);
    return {};
  }
  const versionSpec* spec = nullptr;
  if (!readVersionChoice(versions, versionCaption, spec, box)) return {};

  auto t = std::make_unique<terminal>(id.mac, terminals.libraries());
  t->ip = id.ip;
  t->host = id.host;
  t->comment = entry->comment;
  t->spec = spec;
  t->version = spec ? spec->name.substr(0, terminalID::versionLimit) : std::string();

  std::string question = "Создать терминал с параметрами:";
  question += "\n MAC: " + t->mac.logText();
  question += "\n IP: " + (t->ip ? ipv4Text(t->ip) : std::string());
  question += "\n Host: " + t->host;
  question += "\n Version: " + t->version;
  question += "\n Comment: " + toUtf8(t->comment);
  question += "\n?";
  // Nothing has been written for the MAC before the answer, so No leaves the disk as
  // it was (a directory that appeared meanwhile belongs to whoever made it).
  if (show(box, question, warningCaption, boxButtons::yesNo) != boxAnswer::yes)
    return {addOutcome::declined, nullptr};

  // Check again and write under the register lock: another program may have registered
  // the MAC, address or host while the question was open. A directory of the MAC that
  // this register does not know belongs to a terminal someone else registered.
  registerLock lock;
  if (!lock.take(paths().dataDir)) {
    show(box, registerBusyText, errorCaption);
    return {addOutcome::failed, nullptr};
  }
  if (findConflict(terminals, id) || (!paths().terminalsDir.empty() &&
                                      fileExists(paths().terminalsDir + id.mac.directoryName()))) {
    show(box, conflictText, errorCaption);
    return {addOutcome::failed, nullptr};
  }
  if (!saveTerminal(*t, false)) return {addOutcome::failed, nullptr};
  terminal* registered = terminals.addTerminal(std::move(t));
  if (!registered) return {addOutcome::failed, nullptr};
  if (added) added(*registered);
  return {addOutcome::added, registered};
}

terminal* findFromForm(const terminalRegister& terminals, const terminalFormText& form,
                       const formBox& box) {
  auto entry = readForm(form, box);
  if (!entry) return nullptr;
  terminal* found = findByEntry(terminals, *entry);
  if (!found) show(box, notFoundText, warningCaption);
  return found;
}

bool completeFromArp(terminalFormText& form, const arpSource& source, const formBox& box) {
  auto entry = readForm(form, box);
  if (!entry) return false;
  const terminalID& id = entry->identity;
  if (id.mac.isValid()) {
    auto address = findAddressByMac(id.mac, source);
    if (!address) return false;
    form.ip = widenAscii(ipv4Text(*address));
    return true;
  }
  if (form.mac.empty() && id.ip != 0) {
    auto mac = findMacByAddress(id.ip, source);
    if (!mac) return false;
    form.mac = mac->displayText();
    return true;
  }
  return false;
}

}  // namespace zv
