#include "zvc/editor/libraryCommands.h"

#include "common/installPaths.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

// Answers the dialogs from a script and records what the flows asked.
struct scriptedUi {
  std::string fileName;                   // the file-name dialog's answer
  std::function<bool(optionList&)> edit;  // the options editor; null: unchanged
  bool yes = false;
  std::vector<std::string> events;

  libraryUi hooks() {
    libraryUi ui;
    ui.askFileName = [this](libraryKind, const std::string& proposed) {
      events.push_back("ask " + proposed);
      return fileName;
    };
    ui.editOptions = [this](optionList& options, int kind, const versionSpec*, const std::string&) {
      events.push_back("edit " + std::to_string(kind));
      return edit && edit(options);
    };
    ui.showMessage = [this](const std::u16string& text, const std::u16string& caption) {
      events.push_back("message " + toUtf8(caption) + ": " + toUtf8(text));
    };
    ui.askYesNo = [this](const std::u16string& text, const std::u16string& caption) {
      events.push_back("question " + toUtf8(caption) + ": " + toUtf8(text));
      return yes;
    };
    ui.removeItem = [this](libraryKind, const std::string& name) {
      events.push_back("remove " + name);
    };
    ui.rebuildLists = [this](libraryKind) { events.push_back("rebuild"); };
    return ui;
  }
};

class LibraryCommands : public ::testing::Test {
 protected:
  LibraryCommands() {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().templatesDir);
    makeDirectories(paths().connectionsDir);
    makeDirectories(paths().everyoneDir);
    office->set("video", u"vesa");
    EXPECT_TRUE(office->save());
    libraries.insertTemplate(office);
    rdp->set("displayName", u"M");
    EXPECT_TRUE(rdp->save());
    libraries.insertConnection(rdp);
    libraries.loadAllTerminals(paths().everyoneDir);
  }
  ~LibraryCommands() override { resetInstallationPaths(); }

  std::vector<std::string> templateNames() const {
    std::vector<std::string> names;
    for (const auto& entry : libraries.templates()) names.push_back(entry->name());
    return names;
  }

  test::tempDir dir;
  test::logCapture log;
  configLibraries libraries;
  templatePtr office = std::make_shared<GUITemplatesFile>("office", dir / "data/Templates/");
  connectionPtr rdp = std::make_shared<GUIConnectionsFile>("rdp", dir / "data/Connections/");
  scriptedUi ui;
};

// Copy: "_copy" proposed, the copy edited, written and added at its sorted place.
TEST_F(LibraryCommands, CopyTemplate) {
  ui.fileName = "a_copy";
  ui.edit = [](optionList& options) { return options.set("timeout", u"5"); };
  EXPECT_TRUE(copyLibraryEntry(libraries, libraryKind::templates, "OFFICE", nullptr, ui.hooks()));
  EXPECT_EQ(ui.events, (std::vector<std::string>{"ask office_copy", "edit 2", "rebuild"}));
  EXPECT_EQ(test::readFile(paths().templatesDir + "a_copy.zvc"),
            "\xFF\xFE" + test::utf16le(u"video=vesa\r\ntimeout=5\r\n"));
  EXPECT_EQ(templateNames(), (std::vector<std::string>{"a_copy", "office"}));
  EXPECT_EQ(office->size(), 1u);  // the source is untouched
}

// Nothing is written or added when the dialog is cancelled, the editor reports no change,
// the name is taken (also "all" for templates), or the name could not be a file.
TEST_F(LibraryCommands, CopyThatAddsNothing) {
  struct row {
    const char* answer;
    bool edited;
    const char* message;  // shown, or null
  };
  const row rows[] = {
      {"", true, nullptr},
      {"fresh", false, nullptr},
      {"Office", true, "message Ошибка: Файл с таким именем уже существует"},
      {"ALL", true, "message Ошибка: Файл с таким именем уже существует"},
      {"../escape", true, nullptr},
  };
  for (const row& r : rows) {
    scriptedUi script;
    script.fileName = r.answer;
    if (r.edited) script.edit = [](optionList&) { return true; };
    EXPECT_FALSE(
        copyLibraryEntry(libraries, libraryKind::templates, "office", nullptr, script.hooks()))
        << r.answer;
    EXPECT_EQ(templateNames(), std::vector<std::string>{"office"});
    const bool shown = std::find(script.events.begin(), script.events.end(),
                                 r.message ? r.message : "") != script.events.end();
    EXPECT_EQ(shown, r.message != nullptr) << r.answer;
  }
  EXPECT_FALSE(test::exists(paths().templatesDir + "fresh.zvc"));
  EXPECT_FALSE(test::exists(paths().dataDir + "escape.zvc"));
}

// A file that cannot be written shows the save-failure message and adds nothing.
TEST_F(LibraryCommands, SaveFailure) {
  removeTree(paths().connectionsDir);
  ui.fileName = "ica";
  ui.edit = [](optionList&) { return true; };
  EXPECT_FALSE(createLibraryEntry(libraries, libraryKind::connections, nullptr, ui.hooks()));
  EXPECT_EQ(ui.events.back(),
            "message Ошибка: Невозможно сохранить файл ica. Убедитесь, что у вас достаточно прав "
            "для доступа к файлу.");
  EXPECT_EQ(libraries.connections().size(), 1u);
}

// Create starts from an empty list; a connection lands at its display-name place.
TEST_F(LibraryCommands, CreateConnection) {
  ui.fileName = "zz";
  ui.edit = [](optionList& options) { return options.set("displayName", u"A"); };
  EXPECT_TRUE(createLibraryEntry(libraries, libraryKind::connections, nullptr, ui.hooks()));
  EXPECT_EQ(ui.events, (std::vector<std::string>{"ask ", "edit 2", "rebuild"}));
  ASSERT_EQ(libraries.connections().size(), 2u);
  EXPECT_EQ(libraries.connections()[0]->name(), "zz");
  EXPECT_EQ(test::readFile(paths().connectionsDir + "zz.zvc"),
            "\xFF\xFE" + test::utf16le(u"displayName=A\r\n"));
}

// Editing writes the entry's own file; a connection moves to its new sorted place; the
// all-terminals template is written to Everyone/all.zvc.
TEST_F(LibraryCommands, EditEntries) {
  auto second = std::make_shared<GUIConnectionsFile>("second", paths().connectionsDir);
  second->set("displayName", u"N");
  libraries.insertConnection(second);
  ui.edit = [](optionList& options) { return options.set("displayName", u"Z"); };
  EXPECT_TRUE(editLibraryEntry(libraries, libraryKind::connections, "RDP", nullptr, ui.hooks()));
  EXPECT_EQ(libraries.connections()[0], second);
  EXPECT_EQ(libraries.connections()[1], rdp);
  EXPECT_EQ(test::readFile(paths().connectionsDir + "rdp.zvc"),
            "\xFF\xFE" + test::utf16le(u"displayName=Z\r\n"));

  ui.edit = [](optionList& options) { return options.set("timeout", u"9"); };
  EXPECT_TRUE(editLibraryEntry(libraries, libraryKind::templates, "all", nullptr, ui.hooks()));
  EXPECT_EQ(test::readFile(paths().everyoneDir + "all.zvc"),
            "\xFF\xFE" + test::utf16le(u"timeout=9\r\n"));
  EXPECT_EQ(ui.events, (std::vector<std::string>{"edit 3", "rebuild", "edit 2", "rebuild"}));

  ui.edit = nullptr;
  EXPECT_FALSE(editLibraryEntry(libraries, libraryKind::templates, "office", nullptr, ui.hooks()));
  EXPECT_EQ(office->get("timeout"), u"");
}

// Deleting a template: the question lists the terminals that name it; Yes takes it out of
// every configuration (saved, or marked when it is the edited copy), the library and the
// disk.
TEST_F(LibraryCommands, DeleteTemplate) {
  GUIConfigFile saved(libraries), edited(libraries), other(libraries);
  saved.setTemplateNames({"office", "OFFICE"});
  edited.setTemplateNames({"office"});
  std::vector<std::string> actions;
  terminalRegisterHooks terminals;
  terminals.configurations = [&] {
    return std::vector<terminalConfigRef>{{"00:11:22:33:44:55", &saved, false},
                                          {"00:11:22:33:44:66", &other, false},
                                          {"00:11:22:33:44:77", &edited, true}};
  };
  terminals.save = [&](const terminalConfigRef& t) {
    actions.push_back("save " + t.macText);
    return true;
  };
  terminals.markEdited = [&](const terminalConfigRef& t, libraryKind) {
    actions.push_back("mark " + t.macText);
  };

  EXPECT_FALSE(
      deleteLibraryEntry(libraries, libraryKind::templates, "office", ui.hooks(), terminals));
  EXPECT_EQ(ui.events, (std::vector<std::string>{
                           "question Внимание: Удаление шаблона office повлияет на параметры "
                           "следующих терминалов:\n00:11:22:33:44:55\n00:11:22:33:44:77\n"
                           "Вы действительно хотите удалить шаблон?"}));
  EXPECT_EQ(templateNames(), std::vector<std::string>{"office"});
  EXPECT_TRUE(saved.namesTemplate("office"));

  ui.yes = true;
  ui.events.clear();
  EXPECT_TRUE(
      deleteLibraryEntry(libraries, libraryKind::templates, "office", ui.hooks(), terminals));
  EXPECT_EQ(ui.events.size(), 3u);
  EXPECT_EQ(ui.events[1], "remove office");
  EXPECT_EQ(ui.events[2], "rebuild");
  EXPECT_EQ(actions,
            (std::vector<std::string>{"save 00:11:22:33:44:55", "mark 00:11:22:33:44:77"}));
  EXPECT_TRUE(saved.templateNames().empty());
  EXPECT_TRUE(saved.templateLinks().empty());
  EXPECT_TRUE(edited.templateNames().empty());
  EXPECT_TRUE(templateNames().empty());
  EXPECT_FALSE(test::exists(paths().templatesDir + "office.zvc"));
}

// Deleting a connection unnames its uses and keeps their options; with no terminal using
// it the question is the bare one. The all-terminals template cannot be deleted.
TEST_F(LibraryCommands, DeleteConnection) {
  GUIConfigFile config(libraries);
  config.addScreen(monitor::second);
  config.connection(0, 0, monitor::second)->name = "RDP";
  config.connection(0, 0, monitor::second)->options.set("server", u"own");
  config.resolveConnections(monitor::second);
  terminalRegisterHooks terminals;
  terminals.configurations = [&] {
    return std::vector<terminalConfigRef>{{"00:11:22:33:44:55", &config, false}};
  };
  int saves = 0;
  terminals.save = [&](const terminalConfigRef&) { return ++saves > 0; };
  ui.yes = true;
  ASSERT_TRUE(
      deleteLibraryEntry(libraries, libraryKind::connections, "rdp", ui.hooks(), terminals));
  EXPECT_EQ(saves, 1);
  const configConnection* used = config.connection(0, 0, monitor::second);
  EXPECT_EQ(used->name, "");
  EXPECT_EQ(used->link, nullptr);
  EXPECT_EQ(used->options.get("server"), u"own");
  EXPECT_TRUE(libraries.connections().empty());
  EXPECT_FALSE(test::exists(paths().connectionsDir + "rdp.zvc"));
  EXPECT_EQ(ui.events[0],
            "question Внимание: Удаление соединения rdp повлияет на параметры следующих "
            "терминалов:\n00:11:22:33:44:55\nВы действительно хотите удалить соединение?");

  auto unused = std::make_shared<GUIConnectionsFile>("unused", paths().connectionsDir);
  libraries.insertConnection(unused);
  ui.yes = false;
  ui.events.clear();
  EXPECT_FALSE(
      deleteLibraryEntry(libraries, libraryKind::connections, "unused", ui.hooks(), terminals));
  EXPECT_EQ(
      ui.events,
      (std::vector<std::string>{"question Внимание: Вы действительно хотите удалить соединение?"}));

  ui.events.clear();
  EXPECT_FALSE(deleteLibraryEntry(libraries, libraryKind::templates, "All", ui.hooks(), {}));
  EXPECT_TRUE(ui.events.empty());
  EXPECT_FALSE(removeLibraryEntry(libraries, libraryKind::templates, "all", ui.hooks(), {}));
  EXPECT_NE(libraries.findTemplate("all"), nullptr);
}

}  // namespace
}  // namespace zv
