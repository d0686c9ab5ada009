#pragma once
// The template and connection libraries: named option lists that terminals share.
//
// A template (GUITemplatesFile, kind 1) is a list of general options; a terminal names
// any number of them and every option it does not set comes from the last template that
// sets it. A library connection (GUIConnectionsFile, kind 2) is a list of connection
// options; a connection on a terminal's screen names one and adds corrective options.
// The all-terminals template "all" applies to every terminal below all others.
//
// Files (configuration syntax, only 'key=value' lines in list order):
//   Data/Templates/NAME.zvc, Data/Connections/NAME.zvc, Data/Everyone/all.zvc
//
// Entries are shared: a terminal's configuration links to them with shared pointers, so
// an entry removed from its library stays valid for whoever still holds it. The libraries
// belong to the user-interface thread.

#include "common/configSaver.h"
#include "common/optionList.h"
#include "common/textConfigFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

struct installationPaths;

constexpr std::size_t maxEntryName = 63;

// A named option list kept in its own file. Kind 1: template, kind 2: library connection.
template <std::uint32_t Kind>
class CLSI : public CL, public CS, public optionList {
 public:
  // The name is cut to 63 characters; the file is `directory` + name + ".zvc".
  CLSI(std::string_view name, std::string directory);
  CLSI(const CLSI&) = default;
  CLSI& operator=(const CLSI&) = default;
  ~CLSI() override = default;

  const std::string& name() const { return name_; }
  const std::string& directory() const { return directory_; }
  std::string filePath() const { return directory_ + fileName_; }
  // The file on disk when it is not name + ".zvc" (another case of the extension, or a
  // name longer than an entry name holds).
  void setFileName(std::string fileName) { fileName_ = std::move(fileName); }

  // Every line is an option of the list, stored with the list's rules.
  bool setOption(const std::string& key, const std::u16string& value,
                 const versionSpec* spec) override;

  // Replaces the list with the file's options (no specification). A file that does not
  // load is set aside as ".broken"; the list then holds what was read before the failure.
  bool load();
  // The same without touching the file: a failure leaves it in place and says why.
  bool read(std::u16string& failure);
  // Writes the file: FF FE and every option as 'key=value' CR LF.
  bool save() const;

 private:
  std::string name_;
  std::string directory_;
  std::string fileName_;  // name + ".zvc" unless the file on disk says otherwise
};

extern template class CLSI<ZV_SECTION_GENERAL>;
extern template class CLSI<ZV_SECTION_CONNECTION>;

class GUITemplatesFile : public CLSI<ZV_SECTION_GENERAL> {
 public:
  using CLSI::CLSI;
};

class GUIConnectionsFile : public CLSI<ZV_SECTION_CONNECTION> {
 public:
  using CLSI::CLSI;
  // The option "displayName" when set and not empty; else the name; else "Connection".
  std::u16string displayName() const;
};

using templatePtr = std::shared_ptr<GUITemplatesFile>;
using connectionPtr = std::shared_ptr<GUIConnectionsFile>;

// ASCII case-blind ordering of names (a-z compared as A-Z, every other unit as it is).
int compareNoCase(std::string_view a, std::string_view b);
int compareNoCase(std::u16string_view a, std::u16string_view b);

// A name that can be a library file and stand in a configuration line: 1 to 63
// characters between 0x21 and 0x7E except '/' and '#', and not ending in a backslash.
bool validEntryName(std::string_view name);

// The regular files of a directory whose names end in ".zvc" (any case), sorted without
// ASCII case. Empty when the directory cannot be read.
std::vector<std::string> listConfigFiles(const std::string& directory);

class configLibraries {
 public:
  // Empty libraries and an empty all-terminals template without a directory.
  configLibraries();
  // Configurations point at the libraries they were made with: one object, never copied.
  configLibraries(const configLibraries&) = delete;
  configLibraries& operator=(const configLibraries&) = delete;

  const std::vector<templatePtr>& templates() const { return templates_; }
  const std::vector<connectionPtr>& connections() const { return connections_; }
  const templatePtr& allTerminals() const { return allTerminals_; }

  // "all" (any case) gives the all-terminals template; otherwise the first template of
  // that name without ASCII case, or null.
  templatePtr findTemplate(std::string_view name) const;
  // The first library connection of that name without ASCII case, or null.
  connectionPtr findLibraryConnection(std::string_view name) const;

  // A template goes before the first one whose name is greater; a connection before the
  // first one whose display name is greater (so equal names keep their order).
  void insertTemplate(templatePtr entry);
  void insertConnection(connectionPtr entry);
  // Takes an entry out of its library; false when it is not there.
  bool removeTemplate(const GUITemplatesFile* entry);
  bool removeConnection(const GUIConnectionsFile* entry);

  // Loads without changing anything on disk: a damaged file or a name that is not plain
  // ASCII is logged and left out, but not set aside. For programs that only report.
  bool readOnly = false;

  // Start-up loading from a library directory: every "*.zvc" file that is not ".broken".
  // A name with a character above 0x7E is set aside as ".broken"; a file that does not
  // load is left out. Templates keep the directory's order, connections are sorted.
  void loadTemplates(const std::string& directory);
  void loadConnections(const std::string& directory);
  // Data/Everyone/all.zvc; a missing file leaves the template empty.
  void loadAllTerminals(const std::string& everyoneDirectory);
  // The three above from the installation's directories.
  void load(const installationPaths& paths);

 private:
  std::vector<templatePtr> templates_;
  std::vector<connectionPtr> connections_;
  templatePtr allTerminals_;
};

}  // namespace zv
