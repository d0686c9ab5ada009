#pragma once
// terminalDHCP: the DHCP half of a terminal, its own DHCP options and its boot type,
// kept in the terminal's directory beside its identity files.
//
// The options are the option files of optionsDHCP. The boot type is the file
// "boot_type": the four ASCII bytes "TFTP" or "HTTP", no line break; when read, the
// first 15 bytes up to a CR, LF, BEL or NUL count, either word in any letter case, and
// anything else (or no file) means "as every terminal boots".
//
// Option 12 is the terminal's host name: reading or writing a terminal's options offers
// its text to the identity (setHostFromDhcp, which ignores automatic names) and stores
// the host, with its change-log line.
//
// Thread safety: the caller owns the identity, list and boot type it passes; the files
// are the point of exchange with the DHCP service and other threads. Any thread.

#include "common/optionsDHCP.h"
#include "common/terminalID.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

enum : uint32_t {
  bootTypeNone = 0,  // as every terminal boots
  bootTypeTftp = 1,
  bootTypeHttp = 2,
};

// The boot type of the content of a "boot_type" file.
uint32_t parseBootType(std::string_view bytes);
// "TFTP" or "HTTP"; empty for any other boot type.
std::string_view bootTypeFileBytes(uint32_t bootType);
// The boot type stored in a directory; bootTypeNone when there is no readable file.
uint32_t readBootType(const std::string& directory);

// Loads the terminal's options and boot type from its directory and takes option 12
// over as the host name (stored when it changed). False, with an internal-error report,
// for an invalid MAC or unknown installation paths; the outputs are then untouched.
bool readTerminalDhcp(terminalID& identity, dhcpOptionList& options, uint32_t& bootType);

// Offers option 12 (when set and not "[auto]") to the identity as its host name, in
// memory only: what readTerminalDhcp takes over, for loaders that write nothing.
void takeHostFromOptions(terminalID& identity, const dhcpOptionList& options);

// Takes option 12 over as the host name, writes "boot_type" unless the boot type is
// bootTypeNone (the file is then left as it is), then saves the options (saveOptions,
// which may fill in names from existing name files). False for an invalid MAC, when
// the directory cannot be made, when "boot_type" cannot be written (the options are then
// not saved) or when saveOptions fails.
bool writeTerminalDhcp(terminalID& identity, dhcpOptionList& options, uint32_t bootType);

// Sets the boot type to bootTypeNone and deletes "boot_type" from the terminal's
// directory. False (with an internal-error report) when the file could not be deleted
// or the MAC is invalid.
bool clearTerminalBootType(const terminalID& identity, uint32_t& bootType);

}  // namespace zv
