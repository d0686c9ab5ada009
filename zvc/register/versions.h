#pragma once
// The installed versions of the terminals' operating system.
//
// Each release is installed as two directories named after it ("6.2.63"): Bin/<v>/
// holds its option specification library, TFTPDROOT/<v>/ its boot files. At start-up
// the console loads the libraries into the specification table and scans the boot-file
// directories into the version table; both stay fixed for the rest of the run. The
// version lists that the editors and tools show are built from them.
//
// The console owns one installedVersions for the whole run. User-interface thread only.

#include "common/versionSpec.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

struct installationPaths;

// The release this console belongs to; its specification is the default one.
constexpr std::string_view currentVersion = "6.2.63";

constexpr std::size_t maxVersionEntries = 128;
constexpr std::size_t maxVersionSpecs = 100;
// From this many loaded specifications on, only currentVersion's is still loaded.
constexpr std::size_t versionSpecsLimit = 98;

// The numeric version of a name digit '.' digit '.' digit [digit]:
// major * 65536 + minor * 256 + patch. Nothing for any other text.
std::optional<uint32_t> parseVersion(std::string_view name);
// A release with an odd minor number is a beta.
constexpr bool isBetaVersion(uint32_t numeric) {
  return ((numeric >> 8) & 1) != 0;
}
// The name as the lists show it: " (beta)" appended for a beta release.
std::u16string versionDisplayName(std::string_view name);

// Which terminals a version's boot files serve.
enum class versionKind : int {
  pcAndPi = 0,  // zelvar.pxe and packages/, and pi2/
  pcOnly = 1,   // zelvar.pxe and packages/
  piOnly = 2,   // pi2/ only
};

struct versionEntry {
  std::string name;
  std::u16string wideName;
  uint32_t version = 0;
  versionKind kind = versionKind::pcAndPi;
};

class installedVersions {
 public:
  // Loads Bin/<v>/spec.so (the directory is passed, ending with '/'); null when none.
  using specLoader = std::function<std::unique_ptr<versionSpec>(const std::string& directory)>;
  // Shows a message box with text and caption.
  using messageBox = std::function<void(const std::string& text, const std::string& caption)>;

  // The real loader, and message boxes without an owner window.
  installedVersions();
  installedVersions(specLoader loader, messageBox box);

  // Loads the specification of every version directory in Bin (name order), keeping
  // within the table's limit, and takes currentVersion's as the default. Once only.
  void loadSpecifications(const installationPaths& paths);
  // Fills the version table from the version directories in TFTPDROOT. Once only.
  void scanVersions(const installationPaths& paths);

  // currentVersion's specification, or null when it did not load.
  const versionSpec* defaultSpec() const { return default_; }
  // The first specification named `name` (ASCII case-blind), or null.
  const versionSpec* findVersionSpec(std::string_view name) const;
  std::size_t specCount() const { return specs_.size(); }
  const std::vector<std::unique_ptr<versionSpec>>& specs() const { return specs_; }

  // The version table, newest first. An index out of range is an internal error and
  // gives an empty name or no kind.
  std::size_t count() const { return entries_.size(); }
  std::string name(std::size_t index) const;
  std::u16string wideName(std::size_t index) const;
  std::optional<versionKind> kind(std::size_t index) const;
  const std::vector<versionEntry>& entries() const { return entries_; }

  // The version selector: a select with the given id offering every version that has a
  // specification, then currentVersion if it was not among them, then "Без версии"
  // (value "noversion"). The selected specification's option (or "Без версии" for
  // none) is marked selected.
  std::u16string versionSelectHtml(std::u16string_view id, const versionSpec* selected) const;
  // The options of the tools' version list: one per version table entry, id and text the
  // name (text with " (beta)" for a beta), currentVersion and the first one selected.
  std::u16string toolsVersionOptions() const;

 private:
  specLoader loader_;
  messageBox box_;
  std::vector<std::unique_ptr<versionSpec>> specs_;
  const versionSpec* default_ = nullptr;
  std::vector<versionEntry> entries_;
  bool specsLoaded_ = false;
  bool scanned_ = false;
};

}  // namespace zv
