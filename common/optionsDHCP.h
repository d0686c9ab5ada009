#pragma once
// optionsDHCP: the DHCP options the DHCP service hands to terminals, as the console
// keeps them. One record per option, an ordered list of records, the value texts, the
// tables of predefined and standard options, and the option files shared with the DHCP
// service.
//
// Option files live in a directory: the DHCP defaults directory (options for every
// terminal) or a terminal's directory (options that override the defaults for it):
//   NNN.ext     the value of option NNN ("%03d"), ext the type: ip, iplist, str, u8,
//               u16, u32, bin (read without regard to letter case, written in small
//               letters); "[auto]" alone means the service fills the value in itself
//   NNN.opname  the option's display name: FF FE and 64 UTF-16LE units, zero-padded
// Value files hold text, one byte per character and no byte-order mark: a dotted
// address (ip), addresses joined by CR LF (iplist), the string (str), a decimal number
// (u8, u16; u32 as a signed 32-bit number), or the raw bytes (bin).
//
// The files on disk are authoritative: nothing is cached between a save and the next
// load, and the DHCP service reads and changes them on its own. Whole files are written
// through a temporary sibling and rename, so the service never reads half a file.
//
// Thread safety: records and lists are plain values owned by whoever made them. The
// free functions touch no shared state apart from the file system and the diagnostic
// log, so they may run on any thread on lists that thread owns. A dhcpDefaults object
// belongs to the user-interface thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zv {

// The value types. The numbers are part of the record and stay as they are.
enum : int32_t {
  dhcpTypeNone = 0,
  dhcpTypeIp = 1,      // one IPv4 address, 4 bytes, most significant octet first
  dhcpTypeIpList = 2,  // 1 to 15 addresses, 4 bytes each
  dhcpTypeStr = 3,     // the text's bytes and one zero byte (counted in length)
  dhcpTypeU8 = 4,      // one byte
  dhcpTypeU16 = 5,     // 16 bits, network byte order
  dhcpTypeU32 = 6,     // 32 bits, network byte order
  dhcpTypeBin = 7,     // raw bytes
};

struct dhcpOption {
  static constexpr std::size_t valueSize = 64;
  // The most value bytes putOption stores, and the most characters of a name.
  static constexpr std::size_t putLimit = 63;
  static constexpr std::size_t nameLimit = 63;
  // The option number the editor gives an option it is adding; never saved.
  static constexpr int32_t newOptionCode = 999;

  int32_t code = 0;                        // 0-999 as read from a file name
  std::array<uint8_t, valueSize> value{};  // the bytes as they go on the wire
  uint32_t length = 0;                     // valid bytes of value
  std::u16string name;                     // display name, at most nameLimit units
  int32_t type = dhcpTypeNone;             // dhcpType*
  bool isAuto = false;                     // "[auto]": the service fills the value in

  bool isSet() const { return length > 0 || isAuto; }
  // The valid bytes of value.
  std::string_view bytes() const {
    return {reinterpret_cast<const char*>(value.data()), length < valueSize ? length : valueSize};
  }
  friend bool operator==(const dhcpOption&, const dhcpOption&) = default;
};

// Records in the order their files were found or they were added; saving writes them
// in this order. A loaded list holds each code at most once.
using dhcpOptionList = std::vector<dhcpOption>;

// Where the option an editor shows comes from. The numbers are kept.
enum class optionSource : int { none = 0, defaults = 1, terminal = 2, predefined = 3 };

// ---- tables ------------------------------------------------------------------------

// An option the product knows by name: always offered in the editor, its type fixed
// (a file of another type for its code is refused).
struct predefinedDhcpOption {
  int32_t code;
  std::u16string_view name;  // shown instead of "%03d name"
  int32_t type;
  bool autoOffered;  // the editor offers "[auto]" for it
};

std::span<const predefinedDhcpOption> predefinedOptions();
// The row of a predefined code, or nullptr.
const predefinedDhcpOption* predefinedOption(int32_t code);

// The type of a standard DHCP option (codes 1-67) used to show a record whose type is
// 0; dhcpTypeNone for every other code.
int32_t standardOptionType(int32_t code);

// ".ip" ... ".bin"; empty for a type outside 1-7.
std::string_view optionTypeExtension(int32_t type);
// "ip" ... "bin"; empty for a type outside 1-7.
std::string_view optionTypeName(int32_t type);

// ---- list operations ----------------------------------------------------------------

// The first record of the code, or nullptr.
dhcpOption* findOption(dhcpOptionList& list, int32_t code);
const dhcpOption* findOption(const dhcpOptionList& list, int32_t code);
// Removes the first record of the code; false when there is none.
bool removeOption(dhcpOptionList& list, int32_t code);

// Stores an option the way the editor does. An existing record of the code keeps its
// place: false (and the record untouched) when its type differs, otherwise its value
// is replaced. A new code is appended. Bytes of more than putLimit leave the value
// empty; the name is cut to nameLimit units. A name its name file cannot hold (see
// holdableOptionName) is refused: false and the list untouched. `changed` tells whether
// the stored record differs from what was there before.
bool putOption(dhcpOptionList& list, int32_t code, std::string_view bytes, int32_t type,
               bool isAuto, std::u16string_view name, bool& changed);

// Whether a name reads back from its name file as it is: no '#' (a comment there), no
// line break or zero unit, no blank at either end.
bool holdableOptionName(std::u16string_view name);

// ---- texts --------------------------------------------------------------------------

// The value as text: addresses dotted and joined by `separator`; a string up to its
// first zero byte; numbers in decimal (u32 signed); bin as "%02x" pairs joined by
// `separator`. A record of type 0 is shown by the standard type of its code, or, when
// there is none, as "%02x" pairs joined by blanks followed by ", %d (0x%08x), " with
// the first four bytes read as a little-endian number. "<error>" for any other type.
std::u16string optionValueText(const dhcpOption& option, std::u16string_view separator);
// The predefined name, else "%03d %s" with the code and the record's name.
std::u16string optionDisplayName(const dhcpOption& option);
// The caption of a source; empty for optionSource::none and any other number.
std::u16string_view optionSourceText(optionSource source);

// ---- option file formats (bytes in, bytes out) --------------------------------------

// "003.ip", "026.u16"; the name file "003.opname".
std::string optionFileName(int32_t code, int32_t type);
std::string optionNameFileName(int32_t code);

// Reads the content of a value file of the given type into `out` (type, value,
// length, auto flag; code and name are left alone). False when the content is not a
// value of that type. `bytes` is what the loader reads: the whole file for ip and
// iplist, the first 64 bytes for the other types (longer input is cut the same way).
// A number of 0 and an empty bin give an empty, non-auto record, which loading skips.
bool parseOptionValue(int32_t type, std::string_view bytes, dhcpOption& out);
// The content of the value file of a record; empty for an empty, non-auto record.
std::string optionValueFileBytes(const dhcpOption& option);

// The name in a name file: UTF-16LE (a leading FF FE skipped), up to the first zero
// unit, its first logical line (blanks trimmed, '#' comments dropped), cut to
// nameLimit units.
std::u16string parseOptionName(std::string_view bytes);
// FF FE and exactly 64 UTF-16LE units: the name (cut to nameLimit) padded with zeros.
std::string optionNameFileBytes(std::u16string_view name);

// ---- option directories ----------------------------------------------------------------

// Replaces the list with the options found in the directory, in the order the file
// system lists them. Files that cannot be read or parsed are skipped silently; an ".ip"
// file wins over other files of its code; an empty value that is not auto, option 18
// with fewer than 32 bytes, and a predefined code in a file of another type (logged as
// an error) are skipped. A missing directory gives an empty list. Always true.
bool loadOptions(dhcpOptionList& list, const std::string& directory);

// Writes the list into the directory (created when missing): one value file per record
// that has a value or is auto; beside a value that is not auto, its name file when the
// record has a name, or else the name of an existing name file is taken into the record.
// Value files of options no longer written are removed afterwards, so the DHCP service
// never misses an option that stays; name files are never removed. Option 999 and empty
// records are not written. False when the directory cannot be made or any file could not
// be written or removed; every other file is still written.
bool saveOptions(dhcpOptionList& list, const std::string& directory);

// loadOptions restricted to one code: fills `out` with what loadOptions would load for
// it. False (and `out` cleared) when no file of the code is accepted.
bool loadDefaultOption(int32_t code, const std::string& directory, dhcpOption& out);

// What the editor shows for one option of a terminal: the terminal's own record when it
// has a value or is auto (source terminal), else the default option from the files of
// `defaultsDirectory` (source defaults), else an empty record of the predefined type
// (source predefined). False when none applies; the record then holds the code and the
// type of an empty terminal record, if any. Code 999, the new option, gives type ip and
// false.
bool resolveOption(const dhcpOptionList& terminal, int32_t code,
                   const std::string& defaultsDirectory, dhcpOption& out,
                   optionSource* source = nullptr);

// ---- reports ---------------------------------------------------------------------------

// One option as the console shows it (the terminal's DHCP panel, zvctl).
struct dhcpOptionReport {
  int32_t code = 0;
  int32_t type = dhcpTypeNone;           // the record's type; see effectiveType for type 0
  int32_t effectiveType = dhcpTypeNone;  // type, or the standard type of the code
  bool isAuto = false;
  bool isSet = false;  // has a value or is auto
  std::u16string name;
  std::u16string displayName;
  // "[auto]" for an auto option, addresses of an iplist joined by ", ", otherwise
  // optionValueText with a blank as separator; empty when not set.
  std::u16string valueText;
  optionSource source = optionSource::none;
};

// The report of one record with a given source.
dhcpOptionReport reportOption(const dhcpOption& option, optionSource source);
// Every option that resolves for a terminal (codes 1-255 and every other code of the
// terminal's list or of the defaults directory), in code order. Predefined options
// without a value are included with isSet false.
std::vector<dhcpOptionReport> reportTerminalOptions(const dhcpOptionList& terminal,
                                                    const std::string& defaultsDirectory);
// The defaults list as it is, in code order, each with source defaults.
std::vector<dhcpOptionReport> reportDefaultOptions(const dhcpOptionList& defaults);

// ---- the defaults ------------------------------------------------------------------------

// The options for every terminal, kept in the DHCP defaults directory. The console
// makes one at start-up (paths().dhcpDir) and owns it; it belongs to the user-interface
// thread.
class dhcpDefaults {
 public:
  explicit dhcpDefaults(std::string directory) : directory_(std::move(directory)) {}

  const std::string& directory() const { return directory_; }
  const dhcpOptionList& options() const { return options_; }

  // Reloads the list from the directory.
  void load() { loadOptions(options_, directory_); }
  // Saves `edited` into the directory and reloads the list from it; the result of
  // saveOptions.
  bool save(dhcpOptionList& edited);

  bool resolve(const dhcpOptionList& terminal, int32_t code, dhcpOption& out,
               optionSource* source = nullptr) const {
    return resolveOption(terminal, code, directory_, out, source);
  }

 private:
  std::string directory_;
  dhcpOptionList options_;
};

}  // namespace zv
