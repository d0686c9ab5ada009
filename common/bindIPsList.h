#pragma once
// bindIPsList: the addresses the boot services bind to, the installation-wide `BindIP`
// value (a list of dotted-decimal strings) under "Software\Zelvar". An empty list means
// that the services listen on every interface.
//
// Thread safety: the parsers are pure; the process-wide list belongs to the
// user-interface thread.

#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// At most this many addresses are kept; at most this many bytes of the value are read.
inline constexpr std::size_t bindListLimit = 64;
inline constexpr std::size_t bindValueReadLimit = 256;

using bindList = std::vector<uint32_t>;  // network byte order

// The addresses of the value's bytes: strings ending in 0 bytes, carriage returns or
// line feeds, read until a 0 byte where a string would start. A string that is not an
// address ends the list ("Incorrect line in BindIP list: %s."); each address taken is
// logged ("BindIP: %s"); a 65th is an internal error and ends the list.
bindList parseBindList(std::string_view bytes);
// The bytes of a stored value of any type, as the list reader sees them: a list's
// strings each followed by a 0 byte and one more 0 byte, a string as it stands, a
// number as its four bytes; at most `bindValueReadLimit` of them.
std::string bindValueBytes(const regValue& value);
// The value that stores `addresses` (an empty list stores the empty list).
regValue bindListValue(const bindList& addresses);

// The process-wide list.
bindList& boundAddresses();
// Re-reads `BindIP` of `store` (the local-machine store by default) into the process-wide
// list. A missing value logs "No BindIP key found in registry." and leaves it empty.
void loadBindList(registryStore& store = registryStore::localMachine());
// Writes `addresses` as `BindIP`; false (an internal error) when the store cannot be
// written.
bool saveBindList(const bindList& addresses, registryStore& store = registryStore::localMachine());
// Whether the address is in the process-wide list.
bool isBound(uint32_t address);

}  // namespace zv
