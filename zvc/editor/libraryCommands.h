#pragma once
// The library commands of the templates and screens panels: copy, create, edit and delete
// a template or a library connection, on disk and in the libraries.
//
// The dialogs, the options editor, the page and the terminal register are reached only
// through the hooks below, so the flows run the same under the real panels and in tests.
// An empty hook acts as a cancelled dialog, an unchanged editor or a No. User-interface
// thread only.

#include "common/GUIConfigFile.h"
#include "common/configLibrary.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

enum class libraryKind { templates, connections };

// The options editor's file kinds used by the library commands.
constexpr int editorKindNewEntry = 2;  // copy and create, both libraries
constexpr int editorKindTemplate = 2;
constexpr int editorKindConnection = 3;

struct libraryUi {
  // The file-name dialog with a proposed name; the chosen name, empty when cancelled.
  std::function<std::string(libraryKind, const std::string& proposed)> askFileName;
  // The options editor on `options` (general scope) of the entry `name`; true when it
  // reports a change.
  std::function<bool(optionList& options, int fileKind, const versionSpec* spec,
                     const std::string& name)>
      editOptions;
  std::function<void(const std::u16string& text, const std::u16string& caption)> showMessage;
  // Yes/No question; true for Yes.
  std::function<bool(const std::u16string& text, const std::u16string& caption)> askYesNo;
  // Takes the item of a deleted entry off the page.
  std::function<void(libraryKind, const std::string& name)> removeItem;
  // Rebuilds the library lists and menus (and, after a delete, the terminal views).
  std::function<void(libraryKind)> rebuildLists;
};

// One terminal's configuration as a delete sees it.
struct terminalConfigRef {
  std::string macText;              // as shown in the question
  GUIConfigFile* config = nullptr;  // the saved configuration, or the editor's edited copy
  bool editedUnsaved = false;       // the copy open in the editor with unsaved edits
};

struct terminalRegisterHooks {
  std::function<std::vector<terminalConfigRef>()> configurations;
  // Writes the terminal's config.zvc.
  std::function<bool(const terminalConfigRef&)> save;
  // Enables the save and restore buttons of the edited copy (its templates or screens).
  std::function<void(const terminalConfigRef&, libraryKind)> markEdited;
};

// "Невозможно сохранить файл <name>. Убедитесь, что у вас достаточно прав для доступа к
// файлу."
std::u16string saveFailureText(std::string_view name);

// Saves a new entry's file, then puts it into its library at the sorted place and rebuilds
// the lists. On failure shows the save-failure message (caption "Ошибка"); false.
bool addLibraryTemplate(configLibraries& libraries, templatePtr entry, const libraryUi& ui);
bool addLibraryConnection(configLibraries& libraries, connectionPtr entry, const libraryUi& ui);

// Copy: the name + "_copy" proposed, the copy's options edited (the current version's
// specification, or free text without one); written and added only when the editor
// reports a change. True when an entry was added.
bool copyLibraryEntry(configLibraries& libraries, libraryKind kind, std::string_view name,
                      const versionSpec* spec, const libraryUi& ui);
// Create: as copy, from an empty list and no proposed name.
bool createLibraryEntry(configLibraries& libraries, libraryKind kind, const versionSpec* spec,
                        const libraryUi& ui);
// Edit an entry's options ("all" is the all-terminals template); saved when changed.
bool editLibraryEntry(configLibraries& libraries, libraryKind kind, std::string_view name,
                      const versionSpec* spec, const libraryUi& ui);

// The delete question, listing the terminals that name the entry; true for Yes.
bool confirmLibraryDelete(libraryKind kind, std::string_view name, const libraryUi& ui,
                          const terminalRegisterHooks& terminals);
// The delete itself: the item leaves the page; every terminal that names the entry loses
// it and is saved (the edited, unsaved copy is changed and marked instead); the entry
// leaves its library and its file is deleted. False when there is no such entry (the
// all-terminals template cannot be deleted).
bool removeLibraryEntry(configLibraries& libraries, libraryKind kind, std::string_view name,
                        const libraryUi& ui, const terminalRegisterHooks& terminals);
// Both, as the delete command runs them.
bool deleteLibraryEntry(configLibraries& libraries, libraryKind kind, std::string_view name,
                        const libraryUi& ui, const terminalRegisterHooks& terminals);

}  // namespace zv
