#include "zvc/editor/optionsEditor.h"

#include "common/installPaths.h"
#include "common/versionSpec.h"
#include "htmlview/recordingHost.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"
#include "zvc/editor/configEdits.h"
#include "zvc/editor/optionsEditorPages.h"
#include "zvc/register/versions.h"
#include "zvc/ui/userSettings.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zv {
namespace {

std::string listText(const optionList& list) {
  std::string text;
  for (const configOption& o : list) text += o.key + "=" + toUtf8(o.value) + ";";
  return text;
}

// A main window, a browser stand-in that draws the skin's sheets (so the grid behaves as
// in the browser), the bundled 6.2.63 specification as the only installed version and
// the template "office", which sets keyboard_layout=us.
class OptionsEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    windows.setStyleSheetSource([](const std::string& url) -> std::optional<std::string> {
      constexpr std::string_view prefix = "/skin/";
      if (!url.starts_with(prefix)) return std::nullopt;
      return readFileBytes(std::string(ZV_SKIN_SOURCE_DIR) + url.substr(prefix.size()));
    });
    installationPaths paths = derivePaths(dir / "prog", dir / "data");
    ASSERT_TRUE(makeDirectories(paths.binDir + "6.2.63"));
    std::string library = std::filesystem::path(ZV_SPEC_6_2_63).parent_path().string() + "/";
    versions = std::make_unique<installedVersions>(
        [library](const std::string&) { return loadVersionSpec(library); },
        [](const std::string&, const std::string&) {});
    versions->loadSpecifications(paths);
    spec = versions->defaultSpec();
    ASSERT_NE(spec, nullptr);
    auto office = std::make_shared<GUITemplatesFile>("office", dir.path());
    office->set("keyboard_layout", u"us");
    libraries.insertTemplate(office);
    config.setTemplateNames({"office"});
    main = windows.openWindow({"Zelvar Center", 1200, 900, 0, false, {}, false}, "<body></body>");
    browser.attach();
    loop.pump();
  }

  // Runs `step` once the input sent so far has been handled.
  void then(std::function<void()> step) { loop.postTask(std::move(step)); }
  // Runs the steps in turn, each once the input of the one before has been handled.
  void chain(std::vector<std::function<void()>> steps) {
    if (steps.empty()) return;
    std::function<void()> first = std::move(steps.front());
    steps.erase(steps.begin());
    first();
    then([this, rest = std::move(steps)]() mutable { chain(std::move(rest)); });
  }

  // The terminal's general options in the editor, starting on `key`.
  bool editGeneral(const std::string& key) {
    list = config.generalOptions();
    target.list = &list;
    target.config = &config;
    target.title = "00:1A:2B:3C:4D:5E";
    return showOptionsEditor(windows, main, *versions, target, spec, key, hooks);
  }

  test::tempDir dir;
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  test::loopWatchdog watchdog{loop};
  std::unique_ptr<installedVersions> versions;
  const versionSpec* spec = nullptr;
  configLibraries libraries;
  GUIConfigFile config{libraries};
  optionList list;
  optionsEditorTarget target;
  optionsEditorHooks hooks;
  windowId main = 0;
};

constexpr const char* generalTitle = "Параметры конфигурационного файла 00:1A:2B:3C:4D:5E";

// A value chosen in the library's editor and closed with Enter is in the list; the
// default removes the key, but stays explicitly where the template sets another value;
// a change of letter case alone changes nothing.
TEST_F(OptionsEditor, EnterCommitsTheEditorsValueByTheRules) {
  struct testCase {
    const char* what;
    std::string start;  // the general options before
    const char* key;
    const char* chosen;  // the option of the editor's select; null: none chosen
    std::string after;
    bool asked;  // the save question came
  };
  const testCase cases[] = {
      {"a new value", "", "log_level", "debug", "log_level=debug;", true},
      {"the default removes the key", "log_level=debug", "log_level", "warning", "", true},
      {"the default stays against the template", "keyboard_layout=ru", "keyboard_layout", "us,ru",
       "keyboard_layout=us,ru;", true},
      {"letter case alone", "log_level=DEBUG", "log_level", nullptr, "log_level=DEBUG;", false},
  };
  for (const testCase& c : cases) {
    SCOPED_TRACE(c.what);
    config.generalOptions().clear();
    if (!c.start.empty()) {
      auto eq = c.start.find('=');
      config.generalOptions().set(c.start.substr(0, eq), fromUtf8(c.start.substr(eq + 1)));
    }
    std::size_t boxesBefore = browser.boxes().size();
    browser.onWindow(generalTitle, [&](windowId w) {
      const recordingHost::shownWindow* shown = browser.window(w);
      EXPECT_EQ(shown->width, 1000);
      EXPECT_EQ(shown->height, 600);
      EXPECT_TRUE(shown->modal);
      EXPECT_EQ(shown->owner, main);
      if (c.chosen)
        browser.choose(w, "#editValue",
                       std::string("#editValue option[value=\"") + c.chosen + "\"]");
      then([&, w] { browser.key(w, "#editValue", "Enter"); });
    });
    if (c.asked) browser.answerBox("Сохранить изменения?", boxAnswer::yes);
    EXPECT_TRUE(editGeneral(c.key));
    EXPECT_EQ(listText(list), c.after);
    EXPECT_EQ(listText(config.generalOptions()), c.after);
    EXPECT_EQ(browser.boxes().size() - boxesBefore, c.asked ? 1u : 0u);
    EXPECT_EQ(browser.pendingScripts(), 0u);
  }
  // The minimum size went to the browser with the window.
  nlohmann::json frame = browser.framesOf("window").back();
  EXPECT_EQ(frame.value("minWidth", 0), 1000);
  EXPECT_EQ(frame.value("minHeight", 0), 600);
}

// The grid lists the options of the list's kind by name with the set ones marked; a
// click on a row goes through the grid to the editor, which shows the row's option, its
// value and where it comes from. An invalid value is refused with the message and its
// row stays current; Escape then puts the list back as it was.
TEST_F(OptionsEditor, GridRowsInvalidValuesAndEscape) {
  config.generalOptions().set("ssh_port", u"2222");
  std::string source, result, rows;
  bool keyboardMarked = false, sshMarked = false, portCurrent = false;
  windowId editor = 0;
  browser.onWindow(generalTitle, [&](windowId w) {
    editor = w;
    for (const recordingHost::node* row : browser.select(w, "#terminal_options tr[key]"))
      rows += *row->attribute("key") + " ";
    const recordingHost::node* ssh = browser.first(w, "tr[key=ssh_port]");
    sshMarked = ssh && ssh->attribute("class") && *ssh->attribute("class") == "checked";
    chain({[&, w] { browser.click(w, "tr[key=keyboard_layout] td"); },
           [&, w] {
             source = browser.text(w, "#resultSource");
             result = browser.text(w, "#resultValue");
             browser.click(w, "tr[key=ssh_port] td");
           },
           [&, w] { browser.input(w, "#editValue", "abc"); },
           [&, w] { browser.click(w, "tr[key=timezone] td"); }});
  });
  browser.onBox("Указано неверное значение", [&](windowId box) {
    const recordingHost::node* port = browser.first(editor, "tr[key=ssh_port]");
    portCurrent = port && port->hasState(stateCurrent);
    const recordingHost::node* kb = browser.first(editor, "tr[key=keyboard_layout]");
    keyboardMarked = kb && kb->attribute("class");
    browser.click(box, "#IDOK");
    then([&] { browser.key(editor, "#editValue", "Escape"); });
  });
  EXPECT_FALSE(editGeneral("ssh_port"));
  EXPECT_TRUE(sshMarked);
  EXPECT_FALSE(keyboardMarked);
  EXPECT_TRUE(portCurrent);
  EXPECT_EQ(source, "Шаблон office");
  EXPECT_EQ(result, "keyboard_layout=us");
  // Sorted by name, general options only: no connection option, no unlisted one.
  EXPECT_NE(rows.find("autostart_delay bpp connector"), std::string::npos) << rows;
  EXPECT_EQ(rows.find("setupPassword"), std::string::npos);
  EXPECT_EQ(rows.find("window_size"), std::string::npos);
  EXPECT_EQ(listText(list), "ssh_port=2222;");
  ASSERT_FALSE(browser.boxes().empty());
  EXPECT_EQ(browser.boxes().front().caption, "Ошибка");
}

// The display button of the "display" editor composes the value from the screen options
// through the page host, and the result is saved with the window.
TEST_F(OptionsEditor, DisplayComposedFromTheScreenOptions) {
  for (auto [k, v] : {std::pair{"resolution", u"1920x1080"},
                      {"refresh", u"60"},
                      {"noddc", u"on"},
                      {"connector", u"HDMI-1"}})
    config.generalOptions().set(k, v);
  std::string shown;
  browser.onWindow(generalTitle, [&](windowId w) {
    chain({[&, w] { browser.click(w, "#copyDisplay"); },
           [&, w] {
             shown = browser.text(w, "#resultValue");
             browser.click(w, "#options_cancel");
           }});
  });
  browser.answerBox("Сохранить изменения?", boxAnswer::yes);
  EXPECT_TRUE(editGeneral("display"));
  EXPECT_EQ(shown, "display=1920x1080,60 Hz,noddc,HDMI-1");
  EXPECT_EQ(toUtf8(*list.find("display")), "1920x1080,60 Hz,noddc,HDMI-1");
}

// Saving a template asks with the MACs of the terminals naming it; one used by none is
// saved without a question.
TEST_F(OptionsEditor, TemplateSaveNamesTheTerminals) {
  std::vector<std::string> macs = {"00:1A:2B:3C:4D:01", "00:1A:2B:3C:4D:02", "00:1A:2B:3C:4D:03"};
  hooks.affectedTerminals = [&](int kind, const std::string& name) {
    EXPECT_EQ(kind, optionsOfTemplate);
    EXPECT_EQ(name, "office");
    return macs;
  };
  for (bool used : {true, false}) {
    SCOPED_TRACE(used);
    if (!used) macs.clear();
    list = optionList();
    target = {};
    target.list = &list;
    target.fileKind = optionsOfTemplate;
    target.title = "office";
    windowId editor = 0;
    browser.onWindow("Параметры office", [&](windowId w) {
      editor = w;
      chain({[&, w] { browser.choose(w, "#editValue", "#editValue option[value=debug]"); },
             [&, w] { browser.click(w, "#options_apply"); },
             [&, w] {
               if (!used) browser.closeWindow(w);
             }});
    });
    if (used) {
      browser.onBox("Сохранение параметров подключаемого файла office", [&](windowId box) {
        chain({[&, box] { browser.click(box, "#IDYES"); }, [&] { browser.closeWindow(editor); }});
      });
    }
    std::size_t before = browser.boxes().size();
    EXPECT_TRUE(showOptionsEditor(windows, main, *versions, target, spec, "log_level", hooks));
    EXPECT_EQ(listText(list), "log_level=debug;");
    ASSERT_EQ(browser.boxes().size() - before, used ? 1u : 0u);
    if (used) {
      EXPECT_EQ(browser.boxes().back().text,
                "Сохранение параметров подключаемого файла office повлияет на параметры "
                "следующих терминалов:\n00:1A:2B:3C:4D:01\n00:1A:2B:3C:4D:02\n00:1A:2B:3C:4D:03\n"
                "Сохранить изменения?");
    }
  }
}

// Free rows: a key that is a layout word or one character is marked and blocks the
// save with the message; a good key is taken, and a new row adds a pair.
TEST_F(OptionsEditor, FreeRowsRefuseBadKeys) {
  list.set("video", u"1");
  list.set("timeout", u"5");
  target.list = &list;
  target.title = "kiosk";
  target.fileKind = optionsOfTemplate;
  windowId editor = 0;
  std::vector<bool> marked;
  auto mark = [&] {
    const recordingHost::node* n = browser.first(editor, "#editName0");
    marked.push_back(n && n->attribute("class") && *n->attribute("class") == "errorValue");
  };
  browser.onWindow("Параметры kiosk", [&](windowId w) {
    editor = w;
    EXPECT_EQ(browser.first(w, "#editName0")->value.value_or(""), "video");
    chain({[&, w] { browser.input(w, "#editName0", "next"); },
           [&, w] {
             mark();
             browser.key(w, "#editName0", "Enter");
           }});
  });
  browser.onBox("Указаны некорректные названия параметров", [&](windowId box) {
    chain({[&, box] { browser.click(box, "#IDOK"); },
           [&] { browser.input(editor, "#editName0", "a"); },
           [&] {
             mark();
             browser.key(editor, "#editName0", "Enter");
           }});
  });
  browser.onBox("Указаны некорректные названия параметров", [&](windowId box) {
    chain({[&, box] { browser.click(box, "#IDOK"); },
           [&] { browser.input(editor, "#editName0", "TIMEOUT"); },  // another row's key
           [&] {
             mark();
             browser.input(editor, "#editName0", "vid2");
           },
           [&] {
             mark();
             browser.input(editor, "#new_editValue", "on");
           },
           [&] { browser.input(editor, "#new_editName", "sound"); },
           [&] { browser.key(editor, "#editName0", "Enter"); }});
  });
  browser.answerBox("Сохранить изменения?", boxAnswer::yes);
  EXPECT_TRUE(showFreeOptionsEditor(windows, main, *versions, target, "", hooks));
  EXPECT_EQ(marked, (std::vector<bool>{true, true, true, false}));
  EXPECT_EQ(listText(list), "vid2=1;timeout=5;sound=on;");
  EXPECT_EQ(browser.pendingScripts(), 0u);
}

// "Без версии" turns the grid into free rows of the same list.
TEST_F(OptionsEditor, NoVersionShowsTheSameListAsRows) {
  config.generalOptions().set("log_level", u"debug");
  config.generalOptions().set("ssh", u"on");
  const versionSpec* chosen = spec;
  hooks.versionChosen = [&](const versionSpec* s) { chosen = s; };
  std::string keys;
  browser.onWindow(generalTitle, [&](windowId w) {
    chain({[&, w] {
             browser.choose(w, "#options_version", "#options_version option[value=noversion]");
           },
           [&, w] {
             EXPECT_EQ(browser.first(w, "#terminal_options"), nullptr);
             for (const recordingHost::node* n : browser.select(w, "input[id^=editName]"))
               keys += n->value.value_or("") + ";";
             browser.closeWindow(w);
           }});
  });
  editGeneral("log_level");
  EXPECT_EQ(keys, "log_level;ssh;");
  EXPECT_EQ(chosen, nullptr);
  EXPECT_EQ(listText(list), "log_level=debug;ssh=on;");
}

// A list with a key the version lacks and an invalid value: the incompatible-version
// window lists both; "deleteParams" removes them and the editor opens with its save
// button enabled.
TEST_F(OptionsEditor, IncompatibleListIsCleanedBeforeEditing) {
  list.set("bogus_key", u"1");
  list.set("ssh_port", u"abc");
  list.set("log_level", u"debug");
  target.list = &list;
  target.title = "office";
  target.fileKind = optionsOfTemplate;
  std::string shown;
  bool applyEnabled = false;
  browser.onWindow("Невозможно установить версию Zelvar 6.2.63", [&](windowId w) {
    shown = browser.text(w, "#contents");
    EXPECT_EQ(browser.text(w, "#deleteParams"), "Удалить параметры");
    browser.click(w, "#deleteParams");
  });
  browser.onWindow("Параметры office", [&](windowId w) {
    const recordingHost::node* apply = browser.first(w, "#options_apply");
    applyEnabled = apply && !apply->hasState(stateDisabled);
    browser.key(w, "", "Enter");
  });
  browser.answerBox("Сохранить изменения?", boxAnswer::yes);
  EXPECT_TRUE(showOptionsEditor(windows, main, *versions, target, spec, "", hooks));
  EXPECT_NE(shown.find("Параметры, которых нет в версии Zelvar 6.2.63:"), std::string::npos);
  EXPECT_NE(shown.find("bogus_key"), std::string::npos);
  EXPECT_NE(shown.find("Параметры с неверным значением:"), std::string::npos);
  EXPECT_NE(shown.find("ssh_port=abc"), std::string::npos);
  EXPECT_EQ(shown.find("log_level"), std::string::npos);
  EXPECT_TRUE(applyEnabled);
  EXPECT_EQ(listText(list), "log_level=debug;");

  // Stopping there leaves the list alone and opens no editor.
  list.set("bogus_key", u"1");
  browser.onWindow("Невозможно установить версию",
                   [&](windowId w) { browser.click(w, "#cancelEditor"); });
  EXPECT_FALSE(showOptionsEditor(windows, main, *versions, target, spec, "", hooks));
  EXPECT_EQ(listText(list), "log_level=debug;bogus_key=1;");
}

// A configuration whose template and library connection fail: the window names them
// with the connection's place, and removing takes the template out and unlinks the
// connection; the connection's own bad key goes too.
TEST_F(OptionsEditor, IncompatibleConfigurationLosesTemplateAndConnection) {
  auto bad = std::make_shared<GUITemplatesFile>("bad", dir.path());
  bad->set("bogus_template_key", u"1");
  libraries.insertTemplate(bad);
  auto farm = std::make_shared<GUIConnectionsFile>("farm", dir.path());
  farm->set("port", u"not a port");
  libraries.insertConnection(farm);
  test::writeFile(dir / "config.zvc",
                  "log_level=debug\ntemplate office\ntemplate bad\nconnection farm\n"
                  "bogus_corrective=2\n");
  std::u16string failure;
  ASSERT_TRUE(config.read(dir / "config.zvc", nullptr, failure)) << toUtf8(failure);
  std::string shown, button;
  browser.onWindow("Невозможно установить версию Zelvar 6.2.63", [&](windowId w) {
    shown = browser.text(w, "#contents");
    button = browser.text(w, "#deleteParams");
    browser.click(w, "#deleteParams");
  });
  browser.onWindow(generalTitle, [&](windowId w) { browser.key(w, "", "Enter"); });
  browser.answerBox("Сохранить изменения?", boxAnswer::yes);
  EXPECT_TRUE(editGeneral("log_level"));
  EXPECT_EQ(button, "Удалить параметры и шаблоны\\соединения");
  EXPECT_NE(shown.find("В списке шаблонов указаны шаблоны с несовместимыми параметрами:"),
            std::string::npos);
  EXPECT_NE(shown.find("Экран 1 Соединение 1"), std::string::npos) << shown;
  EXPECT_NE(shown.find("В соединении farm указаны несовместимые параметры."), std::string::npos);
  EXPECT_NE(shown.find("bogus_corrective"), std::string::npos);
  EXPECT_EQ(config.templateNames(), std::vector<std::string>{"office"});
  const configConnection* c = config.connection(0, 0, monitor::first);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->name, "");
  EXPECT_EQ(c->link, nullptr);
  EXPECT_TRUE(c->options.empty());
  EXPECT_EQ(listText(list), "log_level=debug;");
}

// Read-only: "Закрыть" is the only button and nothing counts as saved; the main window
// takes no input while the editor is open. The window takes
// the stored placement, never below 1000 × 600, and keeps it.
TEST_F(OptionsEditor, ReadOnlyWindowAndPlacement) {
  registryStore store(dir / "hkcu.conf");
  hooks.userStore = &store;
  ASSERT_TRUE(saveWindowGeometry(store, "options", {10, 20, 1200, 500}));
  target.readOnly = true;
  int width = 0, height = 0;
  std::size_t buttons = 0;
  bool selector = true;
  browser.onWindow(generalTitle, [&](windowId w) {
    width = browser.window(w)->width;
    height = browser.window(w)->height;
    buttons = browser.select(w, "button").size();
    selector = browser.first(w, "#options_version") != nullptr;
    chain({[&, w] { browser.click(w, "tr[key=ssh] td"); },
           [&] { browser.click(main, "body"); },  // the main window is disabled meanwhile
           [&, w] { browser.key(w, "", "Enter"); }});
  });
  int mainEvents = 0;
  windows.setEventHandler(main, [&](uiEvent&) {
    ++mainEvents;
    return true;
  });
  EXPECT_FALSE(editGeneral("log_level"));
  EXPECT_EQ(mainEvents, 0);
  EXPECT_EQ(width, 1200);
  EXPECT_EQ(height, 600);
  EXPECT_EQ(buttons, 1u);
  EXPECT_FALSE(selector);
  std::optional<screenRect> kept = loadWindowGeometry(store, "options", {});
  ASSERT_TRUE(kept);
  EXPECT_EQ(*kept, (screenRect{10, 20, 1200, 600}));

  // Without a specification the grid editor does not open and the list stays.
  list.set("x_key", u"1");
  optionList before = list;
  EXPECT_FALSE(showOptionsEditor(windows, main, *versions, target, nullptr, "", hooks));
  EXPECT_EQ(list, before);
}

// With 6.1.10 installed beside 6.2.63: a list that 6.1.10 refuses is offered another
// version in the incompatible-version window, and the editor opens with the one chosen
// (the terminal takes it); choosing 6.1.10 in the editor asks again, and stopping there
// closes the editor.
TEST_F(OptionsEditor, AnotherVersionFromTheIncompatibleWindow) {
  installationPaths paths = derivePaths(dir / "prog2", dir / "data");
  for (const char* v : {"6.1.10", "6.2.63"}) {
    ASSERT_TRUE(makeDirectories(paths.binDir + v));
    ASSERT_TRUE(makeDirectories(paths.tftpRoot + v + "/packages"));
    test::writeFile(paths.tftpRoot + v + "/zelvar.pxe", "pxe");
  }
  versions = std::make_unique<installedVersions>(
      [](const std::string& directory) {
        bool old = directory.ends_with("6.1.10/");
        return loadVersionSpec(
            std::filesystem::path(old ? ZV_SPEC_6_1_10 : ZV_SPEC_6_2_63).parent_path().string() +
            "/");
      },
      [](const std::string&, const std::string&) {});
  versions->loadSpecifications(paths);
  versions->scanVersions(paths);
  spec = versions->findVersionSpec("6.1.10");
  ASSERT_NE(spec, nullptr);
  config.setTemplateNames({});
  config.generalOptions().set("log_level", u"debug");
  config.generalOptions().set("ssh_port", u"2222");
  std::vector<std::string> chosen;
  hooks.versionChosen = [&](const versionSpec* s) { chosen.push_back(s ? s->name : "none"); };
  std::string shown;
  bool sshRow = false;
  browser.onWindow("Невозможно установить версию Zelvar 6.1.10", [&](windowId w) {
    shown = browser.text(w, "#contents");
    browser.choose(w, "#options_version", "#options_version option[value='6.2.63']");
  });
  browser.onWindow(generalTitle, [&](windowId w) {
    sshRow = browser.first(w, "tr[key=ssh_port]") != nullptr;
    browser.choose(w, "#options_version", "#options_version option[value='6.1.10']");
  });
  browser.onWindow("Невозможно установить версию Zelvar 6.1.10",
                   [&](windowId w) { browser.key(w, "", "Escape"); });
  EXPECT_FALSE(editGeneral("log_level"));
  EXPECT_NE(shown.find("ssh_port"), std::string::npos);
  EXPECT_TRUE(sshRow);
  EXPECT_EQ(chosen, std::vector<std::string>{"6.2.63"});
  EXPECT_EQ(listText(list), "log_level=debug;ssh_port=2222;");
  EXPECT_EQ(browser.pendingScripts(), 0u);
}

// The corrective options of one connection: the grid offers connection options, the
// value in effect comes from the library connection, and the edit lands in that
// connection of the configuration.
TEST_F(OptionsEditor, ConnectionScope) {
  auto farm = std::make_shared<GUIConnectionsFile>("farm", dir.path());
  farm->set("port", u"3389");
  libraries.insertConnection(farm);
  test::writeFile(dir / "config.zvc", "log_level=debug\nconnection farm\n");
  std::u16string failure;
  ASSERT_TRUE(config.read(dir / "config.zvc", nullptr, failure)) << toUtf8(failure);
  configConnection* connection = config.connection(0, 0, monitor::first);
  ASSERT_NE(connection, nullptr);
  list = connection->options;
  target.list = &list;
  target.config = &config;
  target.screen = 0;
  target.connection = 0;
  target.title = "00:1A:2B:3C:4D:5E";
  std::string source;
  bool generalRow = true;
  browser.onWindow("Корректирующие параметры 00:1A:2B:3C:4D:5E", [&](windowId w) {
    generalRow = browser.first(w, "tr[key=log_level]") != nullptr;
    source = browser.text(w, "#resultSource");
    chain({[&, w] { browser.input(w, "#editValue", "3390"); },
           [&, w] { browser.key(w, "#editValue", "Enter"); }});
  });
  browser.answerBox("Сохранить изменения?", boxAnswer::yes);
  EXPECT_TRUE(showOptionsEditor(windows, main, *versions, target, spec, "port", hooks));
  EXPECT_FALSE(generalRow);
  EXPECT_EQ(source, "Соединение farm");
  EXPECT_EQ(listText(list), "port=3390;");
  EXPECT_EQ(listText(config.connection(0, 0, monitor::first)->options), "port=3390;");
  EXPECT_EQ(listText(config.generalOptions()), "log_level=debug;");
}

// The composed display value, part by part.
TEST(OptionsEditorPages, DisplayComposition) {
  struct testCase {
    std::vector<std::pair<const char*, const char16_t*>> options;
    std::u16string expected;
  };
  const testCase cases[] = {
      {{}, u""},
      {{{"resolution", u"1280x1024"}}, u"1280x1024"},
      {{{"refresh", u"AUTO"}, {"noddc", u"off"}}, u"AUTO"},
      {{{"refresh", u"75"}, {"noddc", u"On"}}, u"75 Hz,noddc"},
      {{{"connector", u"DP-1"}, {"modeline", u"148.5 1920 2008"}}, u"DP-1,\"148.5 1920 2008\""},
      {{{"resolution", u"800x600"}, {"refresh", u"auto"}, {"connector", u"VGA-1"}},
       u"800x600,auto,VGA-1"},
  };
  for (const testCase& c : cases) {
    optionList l;
    for (auto [k, v] : c.options) l.set(k, v);
    EXPECT_EQ(composeDisplayParameters(l), c.expected) << listText(l);
  }
}

}  // namespace
}  // namespace zv
