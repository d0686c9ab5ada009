#pragma once
// GUIConfigFile: a terminal's configuration linked to the libraries it names, and the
// answers to "what value is in effect here, and where does it come from".
//
// Each template name has a link to its library entry (the name "all" to the
// all-terminals template), each named connection a link to its library connection.
// Loading resolves the links; a name the libraries do not hold makes the load fail and
// the file is set aside as ".broken" with the reason at its head. Saving first takes the
// names back from the links.
//
// A terminal record owns one GUIConfigFile from the start-up load until the terminal is
// removed. The libraries are borrowed and must outlive it. User-interface thread only.

#include "common/configFile.h"
#include "common/configLibrary.h"

#include <memory>
#include <string>
#include <vector>

namespace zv {

// Where a value in effect was found.
enum class valueSource {
  specDefault = 0,        // the specification's default
  allTerminals = 1,       // the all-terminals template
  terminalTemplate = 2,   // a template of the terminal (`from` names it)
  libraryConnection = 3,  // the library connection a connection links to (`from`)
  ownConnection = 4,      // the connection's corrective options (`from`: its link or "")
  ownGeneral = 5,         // the terminal's own general options
  none = 6,               // the screen or connection does not exist
};

struct effectiveOption {
  std::u16string value;
  valueSource source = valueSource::specDefault;
  std::string from;  // template or library connection name, where the source has one
};

class GUIConfigFile : public configFile {
 public:
  explicit GUIConfigFile(const configLibraries& libraries);

  const configLibraries& libraries() const { return *libraries_; }

  // Starts afresh, loads the file with the specification, normalises the screens and
  // resolves the templates and connections. A file that does not load, or names what the
  // libraries do not hold, is set aside as ".broken" (the reason at its head) and false is
  // returned; the object then holds what was read.
  bool load(const std::string& path, const versionSpec* spec);
  // The same without touching the file: on failure `failure` holds the reason.
  bool read(const std::string& path, const versionSpec* spec, std::u16string& failure);

  // Links every template name ("all" to the all-terminals template). Empty on success,
  // else "Template not found: " and the first name missing.
  std::u16string resolveTemplates();
  // Links every named connection of a monitor; unnamed ones get no link. Empty on
  // success, else "Connection not found: " and the first name missing.
  std::u16string resolveConnections(monitor which);
  // Template names from the links, in order; every connection's name from its link.
  void namesFromLinks();

  const std::vector<std::shared_ptr<const GUITemplatesFile>>& templateLinks() const {
    return templateLinks_;
  }
  // Replaces the template names (the 101st is an internal error and dropped) and resolves
  // them; the result as resolveTemplates.
  std::u16string setTemplateNames(const std::vector<std::string>& names);
  // Removes every occurrence of the name (ASCII case-blind) with its link; true when one
  // was there.
  bool removeTemplateName(std::string_view name);
  // Unnames and unlinks every connection of that name on both monitors, keeping its place
  // and corrective options; true when one was there.
  bool detachConnections(std::string_view name);
  // Whether the configuration names the template / the library connection.
  bool namesTemplate(std::string_view name) const;
  bool namesConnection(std::string_view name) const;

  // The general option in effect: own options, then the linked templates from the last
  // to the first, then the all-terminals template, then the specification's default. A
  // key no source holds and the specification does not know gives "" (internal error);
  // without a specification "".
  effectiveOption effectiveValue(std::string_view key, const versionSpec* spec) const;
  // The option in effect for a connection: its own options, then its library connection,
  // then effectiveValue. Screen or connection -1: effectiveValue. A connection that does
  // not exist gives source none (internal error).
  effectiveOption effectiveConnectionValue(std::string_view key, int screen, int connection,
                                           monitor which, const versionSpec* spec) const;

  // Makes the configuration self-contained for boot media: the all-terminals template,
  // the templates in order and the own options merged into the general options (later
  // ones win), template names dropped; each linked connection's library options merged
  // under its own. False (internal error, nothing changed) when a template is missing.
  bool flattenTemplates();

  // Names from the links, then saveConfig.
  bool saveTerminalConfig(const std::string& path);

  bool isEmpty() const override;

 private:
  void reset();
  bool finishLoad(std::u16string& failure);

  const configLibraries* libraries_;
  std::vector<std::shared_ptr<const GUITemplatesFile>> templateLinks_;
};

// What validateConfiguration found in one connection.
struct connectionProblems {
  int screen = 0;
  int connection = 0;
  monitor which = monitor::first;
  bool libraryConnectionFails = false;  // its library connection's options do not pass
  optionProblems corrective;            // its own options
};

struct configurationProblems {
  optionProblems general;
  std::vector<std::shared_ptr<const GUITemplatesFile>> templates;  // failing templates
  std::vector<connectionProblems> connections;                     // failing connections
  bool empty() const { return general.empty() && templates.empty() && connections.empty(); }
};

// Checks the general options, every linked template and every connection of both
// monitors (its library connection and its corrective options) against the
// specification. True when nothing was found; always true without a specification.
bool validateConfiguration(const GUIConfigFile& config, const versionSpec* spec,
                           configurationProblems& problems);

}  // namespace zv
