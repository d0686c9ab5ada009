#include "zvc/services/terminalAddress.h"

#include "zvc/register/terminals.h"

#include <string>

namespace zv {

addressVerdict checkTerminalAddress(const terminalRegister& terminals, const terminal& self,
                                    uint32_t address, const interfaceList& interfaces,
                                    bool anyNetwork) {
  for (const terminal* t : terminals.all())
    if (t != &self && t->ip == address && address != 0) return addressVerdict::inUse;
  if (address == 0 || address == 0xFFFFFFFFu) return addressVerdict::invalid;
  if (!anyNetwork && !onInterfaceNetwork(interfaces, address)) return addressVerdict::offNetwork;
  return addressVerdict::accepted;
}

const char* addressVerdictText(addressVerdict verdict) {
  switch (verdict) {
    case addressVerdict::inUse:
      return addressInUseText;
    case addressVerdict::invalid:
      return invalidAddressText;
    case addressVerdict::offNetwork:
      return offNetworkQuestion;
    case addressVerdict::accepted:
      break;
  }
  return "";
}

bool validHostText(std::u16string_view text) {
  if (text.size() > hostInputLimit) return false;
  for (char16_t c : text) {
    bool ok = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
              c == u'.' || c == u'_' || c == u'-';
    if (!ok) return false;
  }
  return true;
}

bool validCommentText(std::u16string_view text) {
  if (text.size() > terminal::commentLimit) return false;
  for (char16_t c : text)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

bool followHostInOption12(dhcpOptionList& options, std::string_view host) {
  dhcpOption* option = findOption(options, 12);
  if (!option || option->isAuto) return false;
  if (host.empty()) return removeOption(options, 12);
  std::string bytes(host.substr(0, dhcpOption::putLimit - 1));
  bytes.push_back('\0');
  std::u16string name = option->name;
  bool changed = false;
  putOption(options, 12, bytes, dhcpTypeStr, false, name, changed);
  return changed;
}

}  // namespace zv
