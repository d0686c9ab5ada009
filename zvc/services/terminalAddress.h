#pragma once
// The checks a terminal's address, host name and comment pass before they are stored,
// shared by the change-address window, the terminal's DHCP panel and zvctl, so that all
// three accept the same values and refuse the others with the same messages. Also the
// step that keeps DHCP option 12 (the host name the DHCP service hands out) in step with
// a new host name.
//
// User-interface thread (or zvctl's one thread): the checks read the register.

#include "common/netInterfaces.h"
#include "common/optionsDHCP.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zv {

class terminalRegister;
struct terminal;

inline constexpr const char* addressInUseText = "Найден терминал с совпадающим IP.";
inline constexpr const char* invalidAddressText = "Указан неверный IP.";
inline constexpr const char* offNetworkQuestion =
    "Указанный IP не соответствует ни одному интерфейсу на этом сервере. Сохранить все равно?";
inline constexpr const char* rebootQuestion =
    "Если терминал запущен в данный момент, перегрузите его как можно раньше, чтобы применить "
    "изменения IP-адреса. \nУбедитесь, что терминал загрузился с новым IP. \n\n Перегрузить "
    "терминал сейчас?";
inline constexpr const char* hostFormatText = "Неверный формат поля Host.";
inline constexpr const char* commentFormatText = "Неверный формат поля Comment.";

// The host input's limit and the characters it takes; the comment input's limit.
inline constexpr std::size_t hostInputLimit = 16;
inline constexpr std::size_t commentInputLimit = 64;

enum class addressVerdict {
  accepted,
  inUse,       // another terminal of the register has it
  invalid,     // 0.0.0.0 or 255.255.255.255
  offNetwork,  // on none of the server's networks: a question, not a refusal
};

// Checks a new address for the terminal, in this order: held by another terminal,
// unusable, off every network of `interfaces` (skipped with `anyNetwork`).
addressVerdict checkTerminalAddress(const terminalRegister& terminals, const terminal& self,
                                    uint32_t address, const interfaceList& interfaces,
                                    bool anyNetwork = false);
// The message of a verdict (the question for offNetwork); empty for accepted.
const char* addressVerdictText(addressVerdict verdict);

// A host name as the panel's input takes it: at most hostInputLimit characters of
// 0-9, a-z, A-Z, '.', '_' and '-'. Empty is valid (no host).
bool validHostText(std::u16string_view text);
// A comment the "comment" file holds as typed: no control characters, at most the
// terminal's comment limit.
bool validCommentText(std::u16string_view text);

// After the host name changed: a terminal option 12 that is not "[auto]" is set to the
// host (a string of at most 63 bytes), or removed when the host is now empty, so the
// DHCP service never hands out the old name. True when the list changed.
bool followHostInOption12(dhcpOptionList& options, std::string_view host);

}  // namespace zv
