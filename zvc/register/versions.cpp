#include "zvc/register/versions.h"

#include "common/installPaths.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "zvc/ui/startup.h"

#include <dirent.h>
#include <algorithm>
#include <cerrno>

namespace zv {
namespace {

constexpr std::u16string_view betaSuffix = u" (beta)";
constexpr std::u16string_view noVersionText = u"Без версии";

// The subdirectories of `directory` whose names are version names, in name order so
// that the tables do not depend on the file system's order.
std::vector<std::string> versionDirectories(const std::string& directory) {
  std::vector<std::string> names;
  auto entries = listDirectory(directory);
  if (!entries) {
    if (errno != ENOENT) ZV_REPORT("%s", errnoText(directory.c_str(), errno).c_str());
    return names;
  }
  for (directoryEntry& entry : *entries)
    if (entry.type == entryType::directory && parseVersion(entry.name))
      names.push_back(std::move(entry.name));
  std::sort(names.begin(), names.end());
  return names;
}

std::u16string escapeAttribute(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'"':
        out += u"&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string tooManyVersionsText(const installationPaths& paths) {
  const std::string placeholder = "<номер неиспользуемой версии>";
  return "На компьютере установлено слишком много версий Zelvar. Надо удалить неиспользуемые.\n"
         "\n"
         "Вручную удалите два каталога для каждой из неиспользуемых версий:\n"
         "\n" +
         paths.binDir + placeholder + "\n" + paths.tftpRoot + placeholder;
}

}  // namespace

std::optional<uint32_t> parseVersion(std::string_view name) {
  auto digit = [&](std::size_t i) { return name[i] >= '0' && name[i] <= '9'; };
  if (name.size() != 5 && name.size() != 6) return std::nullopt;
  if (!digit(0) || name[1] != '.' || !digit(2) || name[3] != '.' || !digit(4)) return std::nullopt;
  if (name.size() == 6 && !digit(5)) return std::nullopt;
  uint32_t major = name[0] - '0';
  uint32_t minor = name[2] - '0';
  uint32_t patch = name[4] - '0';
  if (name.size() == 6) patch = patch * 10 + (name[5] - '0');
  return major * 65536 + minor * 256 + patch;
}

std::u16string versionDisplayName(std::string_view name) {
  std::u16string shown = widenAscii(name);
  std::optional<uint32_t> numeric = parseVersion(name);
  if (numeric && isBetaVersion(*numeric)) shown += betaSuffix;
  return shown;
}

installedVersions::installedVersions() : installedVersions(loadVersionSpec, startupMessageBox) {}

installedVersions::installedVersions(specLoader loader, messageBox box)
    : loader_(std::move(loader)), box_(std::move(box)) {}

void installedVersions::loadSpecifications(const installationPaths& paths) {
  if (specsLoaded_) {
    ZV_INTERNAL_ERROR();
    return;
  }
  specsLoaded_ = true;
  for (const std::string& name : versionDirectories(paths.binDir)) {
    // Near the limit only this console's own release still gets in.
    bool room = specs_.size() < versionSpecsLimit ||
                (name == currentVersion && specs_.size() < maxVersionSpecs);
    if (!room) {
      logMessage("Do not load %s.", name.c_str());
      continue;
    }
    if (std::unique_ptr<versionSpec> spec = loader_(paths.binDir + name + "/"))
      specs_.push_back(std::move(spec));
  }
  if (specs_.size() >= versionSpecsLimit) {
    logMessage("Error. ");
    if (box_) box_(tooManyVersionsText(paths), "Ошибка");
  }
  default_ = findVersionSpec(currentVersion);
  if (!default_) ZV_INTERNAL_ERROR();
}

void installedVersions::scanVersions(const installationPaths& paths) {
  if (scanned_) {
    ZV_INTERNAL_ERROR();
    return;
  }
  scanned_ = true;
  for (const std::string& name : versionDirectories(paths.tftpRoot)) {
    const std::string directory = paths.tftpRoot + name + "/";
    const std::string loader = directory + "zelvar.pxe";
    bool pc = fileExists(loader) && !isDirectory(loader) && isDirectory(directory + "packages");
    bool pi = isDirectory(directory + "pi2");
    if (!pc && !pi) {
      // One empty or half-copied version directory must not hide the versions after it.
      logMessage("No boot files in %s.", directory.c_str());
      ZV_INTERNAL_ERROR();
      continue;
    }
    if (entries_.size() >= maxVersionEntries) {
      ZV_INTERNAL_ERROR();
      return;
    }
    versionEntry entry;
    entry.name = name;
    entry.wideName = widenAscii(name);
    entry.version = *parseVersion(name);
    entry.kind = pc && pi ? versionKind::pcAndPi : pc ? versionKind::pcOnly : versionKind::piOnly;
    // Newest first; an equal version goes after the ones already there.
    auto at = std::find_if(entries_.begin(), entries_.end(),
                           [&](const versionEntry& e) { return e.version < entry.version; });
    entries_.insert(at, std::move(entry));
  }
}

const versionSpec* installedVersions::findVersionSpec(std::string_view name) const {
  for (const auto& spec : specs_)
    if (equalsNoCase(spec->name, name)) return spec.get();
  return nullptr;
}

std::string installedVersions::name(std::size_t index) const {
  if (index >= entries_.size()) {
    ZV_INTERNAL_ERROR();
    return {};
  }
  return entries_[index].name;
}

std::u16string installedVersions::wideName(std::size_t index) const {
  if (index >= entries_.size()) {
    ZV_INTERNAL_ERROR();
    return {};
  }
  return entries_[index].wideName;
}

std::optional<versionKind> installedVersions::kind(std::size_t index) const {
  if (index >= entries_.size()) {
    ZV_INTERNAL_ERROR();
    return std::nullopt;
  }
  return entries_[index].kind;
}

std::u16string installedVersions::versionSelectHtml(std::u16string_view id,
                                                    const versionSpec* selected) const {
  auto option = [&](std::u16string_view value, bool isSelected) {
    return u"<option value=\"" + escapeAttribute(value) + u"\"" +
           (isSelected ? u" selected " : u"") + u">" + std::u16string(value) + u"</option>";
  };
  auto isSelected = [&](std::string_view name) {
    return selected && equalsNoCase(selected->name, name);
  };
  std::u16string html = u"<select id=\"" + escapeAttribute(id) + u"\" style=\"width:8em\">";
  bool currentListed = false;
  for (const versionEntry& entry : entries_) {
    if (!findVersionSpec(entry.name)) continue;
    if (equalsNoCase(entry.name, currentVersion)) currentListed = true;
    html += option(entry.wideName, isSelected(entry.name));
  }
  if (!currentListed && findVersionSpec(currentVersion))
    html += option(widenAscii(currentVersion), isSelected(currentVersion));
  html += u"<option value=\"noversion\"" + std::u16string(selected ? u"" : u" selected ") + u">" +
          std::u16string(noVersionText) + u"</option></select>";
  return html;
}

std::u16string installedVersions::toolsVersionOptions() const {
  std::u16string html;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const versionEntry& entry = entries_[i];
    bool isSelected = entry.name == currentVersion || i == 0;
    html += u"<option id=\"" + escapeAttribute(entry.wideName) + u"\"" +
            (isSelected ? u" selected" : u"") + u">" + versionDisplayName(entry.name) +
            u"</option>";
  }
  return html;
}

}  // namespace zv
