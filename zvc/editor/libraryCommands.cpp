#include "zvc/editor/libraryCommands.h"

#include "common/installPaths.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"

#include <unistd.h>
#include <cerrno>

namespace zv {
namespace {

const std::u16string errorCaption = u"Ошибка";
const std::u16string attentionCaption = u"Внимание";

void show(const libraryUi& ui, const std::u16string& text, const std::u16string& caption) {
  if (ui.showMessage) ui.showMessage(text, caption);
}

void rebuild(const libraryUi& ui, libraryKind kind) {
  if (ui.rebuildLists) ui.rebuildLists(kind);
}

bool nameTaken(const configLibraries& libraries, libraryKind kind, std::string_view name) {
  return kind == libraryKind::templates ? libraries.findTemplate(name) != nullptr
                                        : libraries.findLibraryConnection(name) != nullptr;
}

// The name the file-name dialog chose, or "" when it was cancelled or the name cannot be
// a new library file (the dialog's own checks should have caught that already).
std::string askNewName(const configLibraries& libraries, libraryKind kind,
                       const std::string& proposed, const libraryUi& ui) {
  std::string name = ui.askFileName ? ui.askFileName(kind, proposed) : std::string();
  if (name.empty()) return {};
  if (!validEntryName(name)) {
    ZV_INTERNAL_ERROR();
    return {};
  }
  if (nameTaken(libraries, kind, name)) {
    show(ui, u"Файл с таким именем уже существует", errorCaption);
    return {};
  }
  return name;
}

template <class Entry>
bool saveOrComplain(const Entry& entry, const libraryUi& ui) {
  if (entry.save()) return true;
  show(ui, saveFailureText(entry.name()), errorCaption);
  return false;
}

// Steps shared by copy and create: a new entry with `options`, edited, then written and
// added when the editor reports a change.
bool makeEntry(configLibraries& libraries, libraryKind kind, const optionList& options,
               const std::string& proposed, const versionSpec* spec, const libraryUi& ui) {
  std::string name = askNewName(libraries, kind, proposed, ui);
  if (name.empty()) return false;
  auto edit = [&](optionList& list) {
    list.copyOptionsFrom(options);
    return ui.editOptions && ui.editOptions(list, editorKindNewEntry, spec, name);
  };
  if (kind == libraryKind::templates) {
    auto entry = std::make_shared<GUITemplatesFile>(name, paths().templatesDir);
    return edit(*entry) && addLibraryTemplate(libraries, std::move(entry), ui);
  }
  auto entry = std::make_shared<GUIConnectionsFile>(name, paths().connectionsDir);
  return edit(*entry) && addLibraryConnection(libraries, std::move(entry), ui);
}

// The entry's options and its name as the library spells it, or null.
const optionList* findEntry(const configLibraries& libraries, libraryKind kind,
                            std::string_view name, std::string& spelled) {
  if (kind == libraryKind::templates) {
    templatePtr entry = libraries.findTemplate(name);
    if (entry != nullptr) spelled = entry->name();
    return entry.get();
  }
  connectionPtr entry = libraries.findLibraryConnection(name);
  if (entry != nullptr) spelled = entry->name();
  return entry.get();
}

void deleteFile(const std::string& path) {
  removeIfPresent(path);
}

bool names(const GUIConfigFile& config, libraryKind kind, std::string_view name) {
  return kind == libraryKind::templates ? config.namesTemplate(name) : config.namesConnection(name);
}

}  // namespace

std::u16string saveFailureText(std::string_view name) {
  return u"Невозможно сохранить файл " + widenAscii(name) +
         u". Убедитесь, что у вас достаточно прав для доступа к файлу.";
}

bool addLibraryTemplate(configLibraries& libraries, templatePtr entry, const libraryUi& ui) {
  if (!saveOrComplain(*entry, ui)) return false;
  libraries.insertTemplate(std::move(entry));
  rebuild(ui, libraryKind::templates);
  return true;
}

bool addLibraryConnection(configLibraries& libraries, connectionPtr entry, const libraryUi& ui) {
  if (!saveOrComplain(*entry, ui)) return false;
  libraries.insertConnection(std::move(entry));
  rebuild(ui, libraryKind::connections);
  return true;
}

bool copyLibraryEntry(configLibraries& libraries, libraryKind kind, std::string_view name,
                      const versionSpec* spec, const libraryUi& ui) {
  std::string spelled;
  const optionList* source = findEntry(libraries, kind, name, spelled);
  if (source == nullptr) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  // The source may be replaced while the dialogs run; work on a copy of its options.
  const optionList options = *source;
  return makeEntry(libraries, kind, options, spelled + "_copy", spec, ui);
}

bool createLibraryEntry(configLibraries& libraries, libraryKind kind, const versionSpec* spec,
                        const libraryUi& ui) {
  const optionList empty(kind == libraryKind::templates ? ZV_SECTION_GENERAL
                                                        : ZV_SECTION_CONNECTION);
  return makeEntry(libraries, kind, empty, {}, spec, ui);
}

bool editLibraryEntry(configLibraries& libraries, libraryKind kind, std::string_view name,
                      const versionSpec* spec, const libraryUi& ui) {
  if (kind == libraryKind::templates) {
    templatePtr entry = libraries.findTemplate(name);
    if (entry == nullptr) {
      ZV_INTERNAL_ERROR();
      return false;
    }
    optionList edited = *entry;
    if (!ui.editOptions || !ui.editOptions(edited, editorKindTemplate, spec, entry->name()))
      return false;
    static_cast<optionList&>(*entry) = edited;
    if (!saveOrComplain(*entry, ui)) return false;
    rebuild(ui, kind);
    return true;
  }
  connectionPtr entry = libraries.findLibraryConnection(name);
  if (entry == nullptr) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  optionList edited = *entry;
  if (!ui.editOptions || !ui.editOptions(edited, editorKindConnection, spec, entry->name()))
    return false;
  static_cast<optionList&>(*entry) = edited;
  // The display name may have changed: the entry moves to its new sorted place.
  libraries.removeConnection(entry.get());
  libraries.insertConnection(entry);
  if (!saveOrComplain(*entry, ui)) return false;
  rebuild(ui, kind);
  return true;
}

bool confirmLibraryDelete(libraryKind kind, std::string_view name, const libraryUi& ui,
                          const terminalRegisterHooks& terminals) {
  const bool templates = kind == libraryKind::templates;
  std::u16string macs;
  if (terminals.configurations)
    for (const terminalConfigRef& terminal : terminals.configurations())
      if (terminal.config != nullptr && names(*terminal.config, kind, name))
        macs += fromUtf8(terminal.macText) + u"\n";
  std::u16string question;
  if (!macs.empty())
    question = (templates ? u"Удаление шаблона " : u"Удаление соединения ") + widenAscii(name) +
               u" повлияет на параметры следующих терминалов:\n" + macs;
  question += templates ? u"Вы действительно хотите удалить шаблон?"
                        : u"Вы действительно хотите удалить соединение?";
  return ui.askYesNo && ui.askYesNo(question, attentionCaption);
}

bool removeLibraryEntry(configLibraries& libraries, libraryKind kind, std::string_view name,
                        const libraryUi& ui, const terminalRegisterHooks& terminals) {
  const bool templates = kind == libraryKind::templates;
  templatePtr templateEntry;
  connectionPtr connectionEntry;
  if (templates) {
    templateEntry = libraries.findTemplate(name);
    if (templateEntry == libraries.allTerminals()) templateEntry = nullptr;
  } else {
    connectionEntry = libraries.findLibraryConnection(name);
  }
  if (templateEntry == nullptr && connectionEntry == nullptr) {
    ZV_INTERNAL_ERROR();
    return false;
  }
  const std::string entryName = templates ? templateEntry->name() : connectionEntry->name();
  if (ui.removeItem) ui.removeItem(kind, entryName);

  if (terminals.configurations) {
    for (const terminalConfigRef& terminal : terminals.configurations()) {
      if (terminal.config == nullptr || !names(*terminal.config, kind, entryName)) continue;
      if (templates)
        terminal.config->removeTemplateName(entryName);
      else
        terminal.config->detachConnections(entryName);
      terminal.config->normalizeScreens();
      if (terminal.editedUnsaved) {
        if (terminals.markEdited) terminals.markEdited(terminal, kind);
      } else if (terminals.save) {
        terminals.save(terminal);
      }
    }
  }

  if (templates) {
    libraries.removeTemplate(templateEntry.get());
    deleteFile(templateEntry->filePath());
  } else {
    libraries.removeConnection(connectionEntry.get());
    deleteFile(connectionEntry->filePath());
  }
  rebuild(ui, kind);
  return true;
}

bool deleteLibraryEntry(configLibraries& libraries, libraryKind kind, std::string_view name,
                        const libraryUi& ui, const terminalRegisterHooks& terminals) {
  if (kind == libraryKind::templates && equalsNoCase(name, "all")) {
    ZV_INTERNAL_ERROR();  // the all-terminals template is always there
    return false;
  }
  return confirmLibraryDelete(kind, name, ui, terminals) &&
         removeLibraryEntry(libraries, kind, name, ui, terminals);
}

}  // namespace zv
