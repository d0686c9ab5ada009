// The templates panel: the options in effect, the terminal's templates, the trash and
// the library, their commands, context menus and drops.

#include <algorithm>
#include <cstring>
#include "common/errorCFHandler.h"
#include "common/installPaths.h"
#include "common/misc3.h"
#include "htmlview/rows.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "platform/windowMessages.h"
#include "zvc/editor/configEdits.h"
#include "zvc/editor/configPanels.h"
#include "zvc/editor/configText.h"
#include "zvc/editor/libraryItems.h"
#include "zvc/register/terminalForms.h"
#include "zvc/register/terminals.h"
#include "zvc/register/versions.h"
#include "zvc/ui/messageBox.h"

#include <algorithm>

namespace zv {

using namespace configPanelIds;

// ---- the templates panel -----------------------------------------------------------------

std::string configPanels::currentOptionKey() const {
  if (!doc_) return {};
  elementRef options = doc_->byId(optionsWidget);
  if (!options) return {};
  for (std::size_t i = 0; i < options->childCount(); ++i)
    if (options->child(i)->hasState(stateCurrent)) return attributeText(options->child(i), "id");
  return {};
}

const versionSpec* configPanels::librarySpec() const {
  return versions_.defaultSpec();
}

bool configPanels::editGeneralOptions(const std::string& initialKey) {
  if (!current_ || !hooks_.editOptions) return false;
  optionList copy = current_->config.generalOptions();
  optionsEditorTarget target;
  target.list = &copy;
  target.config = &current_->config;
  target.fileKind = optionsOfConfiguration;
  target.title = macText();
  std::vector<std::u16string> before = current_->config.textLines();
  if (!hooks_.editOptions(target, current_->spec, initialKey)) {
    // Removing what does not fit a version also takes templates and connections out of
    // the configuration; such a change waits for the save or restore buttons.
    if (current_->config.textLines() != before) templatesChanged();
    return false;
  }
  current_->config.setScopeOptions(copy, -1, -1, monitor::first);
  current_->config.normalizeScreens();
  bool saved = saveTerminalConfig();
  if (!saved) fillTemplatesPanel();
  return saved;
}

void configPanels::showTemplate(const std::string& name) {
  templatePtr entry = libraries_.findTemplate(name);
  if (!entry || !hooks_.editOptions) return;
  optionList copy = *entry;
  optionsEditorTarget target;
  target.list = &copy;
  target.fileKind = optionsOfTemplate;
  target.title = entry->name();
  target.readOnly = true;
  hooks_.editOptions(target, current_ ? current_->spec : nullptr, {});
}

void configPanels::templatesChanged() {
  fillTemplatesPanel();
  setConfigFlag(true);
}

void configPanels::rebuildTemplatesFromList() {
  if (!current_ || !doc_) return;
  elementRef list = doc_->byId(templatesList);
  if (!list) return;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < list->childCount(); ++i) {
    std::string name = attributeText(list->child(i), "file");
    if (name.empty()) continue;
    // A template listed twice counts once, at its first place.
    bool listed = std::any_of(names.begin(), names.end(),
                              [&](const std::string& n) { return equalsNoCase(n, name); });
    if (!listed) names.push_back(name);
  }
  std::u16string failure = current_->config.setTemplateNames(names);
  if (!failure.empty()) logMessage("Templates of the list: %s", toUtf8(failure).c_str());
  templatesChanged();
}

std::string configPanels::itemFile(const uiEvent& e, std::string_view listId) const {
  // A menu item of "add_template2terminal" names its template itself.
  if (std::string file = attributeText(e.source.get(), "file"); !file.empty()) return file;
  if (contextItem_ && contextItem_->isConnected()) return attributeText(contextItem_.get(), "file");
  if (!doc_) return {};
  if (elementRef list = doc_->byId(listId))
    for (std::size_t i = 0; i < list->childCount(); ++i)
      if (list->child(i)->hasState(stateCurrent)) return attributeText(list->child(i), "file");
  return {};
}

libraryUi configPanels::libraryHooks() {
  libraryUi ui;
  ui.askFileName = hooks_.askFileName;
  ui.editOptions = [this](optionList& options, int fileKind, const versionSpec* spec,
                          const std::string& name) {
    if (!hooks_.editOptions) return false;
    optionsEditorTarget target;
    target.list = &options;
    target.fileKind = fileKind;
    target.title = name;
    return hooks_.editOptions(target, spec, {});
  };
  ui.showMessage = [](const std::u16string& text, const std::u16string& caption) {
    messageBox(toUtf8(text), toUtf8(caption), boxButtons::ok, boxIcon::warning);
  };
  ui.askYesNo = [](const std::u16string& text, const std::u16string& caption) {
    return messageBox(toUtf8(text), toUtf8(caption), boxButtons::yesNo, boxIcon::question) ==
           boxAnswer::yes;
  };
  ui.removeItem = [this](libraryKind, const std::string& name) {
    if (!doc_) return;
    if (elementRef library = doc_->byId(libraryList))
      for (std::size_t i = library->childCount(); i-- > 0;)
        if (equalsNoCase(attributeText(library->child(i), "file"), name))
          library->child(i)->remove();
  };
  ui.rebuildLists = [this](libraryKind) { fillTemplatesPanel(); };
  return ui;
}

terminalRegisterHooks configPanels::registerHooks() {
  terminalRegisterHooks hooks;
  hooks.configurations = [this] {
    std::vector<terminalConfigRef> refs;
    for (terminal* t : terminals_.all()) {
      terminalConfigRef ref;
      ref.macText = toUtf8(t->mac.displayText());
      ref.config = &t->config;
      ref.editedUnsaved = t == current_ && hasUnsavedChanges();
      refs.push_back(std::move(ref));
    }
    return refs;
  };
  hooks.save = [this](const terminalConfigRef& ref) {
    for (terminal* t : terminals_.all()) {
      if (&t->config != ref.config) continue;
      bool saved = saveConfiguration(*t);
      // The restore point of the current terminal follows what is on disk.
      if (saved && t == current_) restorePoint_.emplace(t->config);
      return saved;
    }
    return false;
  };
  hooks.markEdited = [this](const terminalConfigRef& ref, libraryKind) {
    if (current_ && ref.config == &current_->config) setConfigFlag(true);
  };
  return hooks;
}

bool configPanels::runCommand(const std::string& id, uiEvent& e) {
  if (id == "create_config") return createConfig(), true;
  if (id == "save_config" || id == "save_screens_config") {
    if (configFlag_) saveTerminalConfig();
    return true;
  }
  if (id == "restore_config" || id == "restore_screens_config") {
    if (configFlag_) restoreTerminalConfig();
    return true;
  }
  if (id == "test_textconfig") return testTextConfig(true), true;
  if (id == "save_textconfig") return saveTextConfig(), true;
  if (id == "restore_textconfig") return restoreTextConfig(), true;
  if (!current_) return false;
  if (id == "add_option" || id == "terminals_options_new") return editGeneralOptions({}), true;
  if (id == "terminals_options_edit") return editGeneralOptions(currentOptionKey()), true;
  if (id == "terminals_options_remove") {
    std::string key = currentOptionKey();
    if (!key.empty() && current_->config.generalOptions().remove(key)) templatesChanged();
    return true;
  }
  if (id == "menuTmplt" || id == "templates_source_add") {
    std::string name = itemFile(e, libraryList);
    bool added = false;
    std::string failure = name.empty() ? std::string() : addTemplate(current_->config, name, added);
    if (!failure.empty()) logMessage("Template not added: %s", failure.c_str());
    if (added) templatesChanged();
    return true;
  }
  if (id == "templates_target_delete") {
    std::string name = itemFile(e, templatesList);
    if (!name.empty() && removeTemplate(current_->config, name).empty()) templatesChanged();
    return true;
  }
  if (id == "templates_target_show") {
    std::string name = itemFile(e, templatesList);
    if (!name.empty()) showTemplate(name);
    return true;
  }
  libraryUi ui = libraryHooks();
  if (id == "templates_source_new") {
    createLibraryEntry(libraries_, libraryKind::templates, librarySpec(), ui);
    return true;
  }
  std::string name = itemFile(e, libraryList);
  if (name.empty()) return true;
  if (id == "templates_source_edit") {
    if (editLibraryEntry(libraries_, libraryKind::templates, name, librarySpec(), ui))
      fillTemplatesPanel();
  } else if (id == "templates_source_copy") {
    copyLibraryEntry(libraries_, libraryKind::templates, name, librarySpec(), ui);
  } else if (id == "templates_source_remove") {
    deleteLibraryEntry(libraries_, libraryKind::templates, name, ui, registerHooks());
  }
  return true;
}

// ---- mouse -------------------------------------------------------------------------------

void configPanels::postOrRun(unsigned message) {
  if (hooks_.post) {
    hooks_.post(message);
  } else {
    panelMessage(message);
  }
}

bool configPanels::mouse(uiEvent& e) {
  if (!doc_ || !current_ || !e.target) return false;
  elementRef panel = e.target->closest("#panel-templates");
  if (!panel) return false;
  if (e.kind == eventKind::contextmenu) {
    // Which menu: the item's or the list's under the pointer.
    const char* menu = nullptr;
    elementRef item = e.target->closest("li");
    if (e.target->closest("#terminals_templates_options")) {
      menu = "options_context";
      if (elementRef option = e.target->closest("option")) {
        elementRef options = doc_->byId(optionsWidget);
        for (std::size_t i = 0; options && i < options->childCount(); ++i)
          options->child(i)->setStates(0, stateCurrent);
        option->setStates(stateCurrent, 0);
      }
    } else if (e.target->closest("#templates_list")) {
      menu = item ? "template_target_context" : "templates_target_context";
    } else if (e.target->closest("#templates")) {
      if (!item) {
        menu = "sourcetmpltlist_context";
      } else if (equalsNoCase(attributeText(item.get(), "file"), "all")) {
        menu = "all_template_source_context";
      } else {
        menu = "templates_source_context";
      }
    }
    if (!menu) return false;
    contextItem_ = item;
    if (elementRef popup = doc_->byId(menu)) popup->setStates(statePopup, 0);
    return true;
  }
  if (e.kind == eventKind::dblclick) {
    elementRef item = e.target->closest("li");
    if (!item) return false;
    std::string name = attributeText(item.get(), "file");
    if (item->closest("#templates_list")) {
      showTemplate(name);
    } else if (item->closest("#templates")) {
      libraryUi ui = libraryHooks();
      if (editLibraryEntry(libraries_, libraryKind::templates, name, librarySpec(), ui))
        fillTemplatesPanel();
    }
    return true;
  }
  if (e.kind != eventKind::drop || !e.source) return false;
  std::string dragged = attributeText(e.source.get(), "id");
  bool onTrash = bool(e.target->closest("#trash"));
  bool onList = bool(e.target->closest("#templates_list"));
  elementRef list = doc_->byId(templatesList);
  std::size_t at = e.index < 0 ? std::size_t(-1) : std::size_t(e.index);
  if (dragged == "template" && e.source->closest("#templates_list")) {
    if (onTrash) {
      e.source->remove();
      postOrRun(wm::rebuildTemplates);
    } else if (onList && list) {
      // A template moved within the list: its place is its order of precedence.
      list->insert(e.source, std::min(at, list->childCount()));
      postOrRun(wm::rebuildTemplates);
    }
    return true;
  }
  if (dragged == "sourcetemplate" && e.source->closest("#templates")) {
    std::string name = attributeText(e.source.get(), "file");
    if (onTrash) {
      if (equalsNoCase(name, "all")) return true;
      libraryUi ui = libraryHooks();
      if (confirmLibraryDelete(libraryKind::templates, name, ui, registerHooks())) {
        pendingLibraryDelete_ = name;
        postOrRun(wm::deleteTemplate);
      }
    } else if (onList && list) {
      templatePtr entry = libraries_.findTemplate(name);
      if (!entry) return true;
      elementRef copy = doc_->createElement("li");
      list->insert(copy, std::min(at, list->childCount()));
      copy->setAttribute("file", entry->name());
      postOrRun(wm::rebuildTemplates);
    }
    return true;
  }
  return false;
}

void configPanels::panelMessage(unsigned message) {
  if (message == wm::rebuildTemplates || message == wm::refreshTemplates) {
    rebuildTemplatesFromList();
  } else if (message == wm::deleteTemplate) {
    std::string name = std::move(pendingLibraryDelete_);
    pendingLibraryDelete_.clear();
    libraryUi ui = libraryHooks();
    if (!name.empty())
      removeLibraryEntry(libraries_, libraryKind::templates, name, ui, registerHooks());
  }
}

}  // namespace zv
