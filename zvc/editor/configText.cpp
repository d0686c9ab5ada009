#include "zvc/editor/configText.h"

#include "platform/files.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace zv {
namespace {

// A new directory of our own in the system's temporary directory; empty when none
// could be made. Made afresh, never an existing one, so nobody else's links are used.
std::string makePrivateDirectory() {
  std::error_code error;
  std::string base = std::filesystem::temp_directory_path(error).string();
  if (error || base.empty()) base = "/tmp";
  if (base.back() != '/') base += '/';
  std::random_device random;
  for (int attempt = 0; attempt < 8; ++attempt) {
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
    std::string path = base + "zelvar_tmp." + suffix;
    if (makeDirectory(path, 0700) == made::created) return path + "/";
  }
  return {};
}

}  // namespace

std::string configTextBytes(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + 2 * text.size());
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  return bytes;
}

textCheck checkConfigText(std::u16string_view text, const configLibraries& libraries,
                          const versionSpec* spec) {
  textCheck check;
  std::string directory = makePrivateDirectory();
  if (directory.empty()) return check;
  std::string path = directory + "1.zvc";
  check.written = writeFileAtomically(path, configTextBytes(text), {0600, false, false});
  if (check.written) {
    GUIConfigFile config(libraries);
    check.loads = config.read(path, spec, check.reason);
    configurationProblems problems;
    check.compatible = check.loads && validateConfiguration(config, spec, problems);
  }
  removeTree(directory);
  return check;
}

}  // namespace zv
