// Reads arbitrary bytes as every DHCP option file the console reads: a value file of
// each type, a name file and "boot_type". Readers never crash and keep their limits,
// and every option they accept that would be saved survives the writer: written and read
// back it is the same record (a string holding a zero byte is cut there once, then stays).
#include "common/optionsDHCP.h"
#include "common/terminalDHCP.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void checkValue(int32_t type, std::string_view bytes) {
  zv::dhcpOption option;
  option.code = 200;
  if (!zv::parseOptionValue(type, bytes, option)) return;
  require(option.type == type);
  require(option.length <= zv::dhcpOption::valueSize);
  require(!option.isAuto || option.length == 0);
  if (type == zv::dhcpTypeIp) require(option.isAuto || option.length == 4);
  if (type == zv::dhcpTypeIpList) require(option.length % 4 == 0 && option.length <= 60);
  if (type == zv::dhcpTypeStr && !option.isAuto) {
    require(option.length >= 1 && option.value[option.length - 1] == 0);
  }
  zv::optionValueText(option, u", ");
  zv::optionDisplayName(option);
  if (!option.isSet()) return;  // an empty option is never written

  std::string written = zv::optionValueFileBytes(option);
  zv::dhcpOption back;
  back.code = option.code;
  require(zv::parseOptionValue(type, written, back));
  std::string_view text = option.bytes();
  bool innerZero = type == zv::dhcpTypeStr && !option.isAuto &&
                   text.substr(0, text.size() - 1).find('\0') != std::string_view::npos;
  if (!innerZero) require(back == option);
  require(zv::optionValueFileBytes(back) == written);
}

void checkName(std::string_view bytes) {
  std::u16string name = zv::parseOptionName(bytes);
  require(name.size() <= zv::dhcpOption::nameLimit);
  require(name.find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string::npos);
  std::string file = zv::optionNameFileBytes(name);
  require(file.size() == 130);
  std::u16string once = zv::parseOptionName(file);
  require(zv::parseOptionName(zv::optionNameFileBytes(once)) == once);
}

void checkBootType(std::string_view bytes) {
  uint32_t bootType = zv::parseBootType(bytes);
  require(bootType <= zv::bootTypeHttp);
  if (bootType != zv::bootTypeNone)
    require(zv::parseBootType(zv::bootTypeFileBytes(bootType)) == bootType);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (int32_t type = zv::dhcpTypeIp; type <= zv::dhcpTypeBin; ++type) checkValue(type, bytes);
  checkName(bytes);
  checkBootType(bytes);
  return 0;
}
