#include "zvc/shell/gallery.h"

#include "htmlview/recordingHost.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"
#include "zvc/shell/console.h"
#include "zvc/ui/consoleUi.h"

#include <gtest/gtest.h>

#include <set>

namespace zv {
namespace {

// The gallery in a window with the skin's sheets, driven by the recording host.
struct galleryBench {
  explicit galleryBench(std::size_t rows = 40) : loop(clock), windows(loop), browser(windows) {
    windows.setStyleSheetSource([](const std::string& url) -> std::optional<std::string> {
      constexpr std::string_view prefix = "/skin/";
      if (!url.starts_with(prefix)) return std::nullopt;
      return readFileBytes(std::string(ZV_SKIN_SOURCE_DIR) + url.substr(prefix.size()));
    });
    windowSpec spec;
    spec.title = "Галерея";
    spec.width = 1000;
    spec.height = 800;
    spec.css = gallerySheets();
    w = windows.openWindow(std::move(spec), galleryHtml(rows));
    controller = std::make_unique<galleryController>(
        windows, w, [this](const std::string& line) { lines.push_back(line); });
    windows.setEventHandler(w, [this](uiEvent& e) { return controller->handle(e); });
    browser.attach();
    loop.pump();
  }
  std::string text(std::string_view selector) { return browser.text(w, selector); }
  bool hasState(std::string_view selector, std::uint32_t bits) {
    const recordingHost::node* n = browser.first(w, selector);
    return n && n->hasState(bits);
  }
  std::vector<std::string> ids(std::string_view selector) {
    std::vector<std::string> out;
    for (const recordingHost::node* n : browser.select(w, selector))
      out.push_back(n->attribute("id") ? *n->attribute("id") : "");
    return out;
  }

  fakeClock clock;
  eventLoop loop;
  windowHost windows;
  recordingHost browser;
  windowId w = 0;
  std::unique_ptr<galleryController> controller;
  std::vector<std::string> lines;
};

TEST(GalleryGrid, CodesAreEachNumberOnce) {
  for (std::size_t rows : {std::size_t(40), std::size_t(1000), galleryGridRows}) {
    std::set<std::string> codes;
    for (std::size_t n = 1; n <= rows; ++n) codes.insert(galleryRowText(n, rows).code);
    EXPECT_EQ(codes.size(), rows) << rows;
    EXPECT_EQ(*codes.begin(), "00000");
  }
  EXPECT_EQ(galleryRowText(258, 40).address, "10.0.1.2");
  EXPECT_EQ(galleryRowText(7, 40).name, "Терминал 7");
}

TEST(Gallery, TypedValuesArriveAndPasswordsStayOutOfThePage) {
  galleryBench g;
  ASSERT_TRUE(g.browser.input(g.w, "#hex_input", "0A:1B"));
  g.loop.pump();
  EXPECT_EQ(g.text("#got_hex_input"), "0A:1B");
  EXPECT_EQ(g.text("#status"), "Значение hex_input: 0A:1B");
  ASSERT_FALSE(g.lines.empty());
  EXPECT_EQ(g.lines.back(), "value of hex_input: 0A:1B");

  g.browser.input(g.w, "#password_input", "secret");
  g.loop.pump();
  EXPECT_EQ(g.text("#got_password_input"), "6 байт");
  for (const std::string& line : g.lines) EXPECT_EQ(line.find("secret"), std::string::npos);

  // Enter in the form presses its default button, which reports what the form holds.
  g.browser.input(g.w, "#name_input", "Склад");
  ASSERT_TRUE(g.browser.key(g.w, "#name_input", "Enter"));
  g.loop.pump();
  EXPECT_EQ(g.text("#form_result"), "hex_input=0A:1B; name_input=Склад; password_input=6 байт");

  // The password can be shown and hidden again.
  g.browser.click(g.w, "#show_password");
  g.loop.pump();
  EXPECT_EQ(*g.browser.first(g.w, "#password_input")->attribute("type"), "text");
  g.browser.click(g.w, "#show_password");
  g.loop.pump();
  EXPECT_EQ(*g.browser.first(g.w, "#password_input")->attribute("type"), "password");

  g.browser.click(g.w, "#form_reset");
  g.loop.pump();
  EXPECT_EQ(g.text("#got_hex_input"), "");
  EXPECT_EQ(g.browser.first(g.w, "#hex_input")->value.value_or(""), "");
}

TEST(Gallery, EachMessageBoxAnswersIntoThePage) {
  const std::pair<const char*, boxAnswer> cases[] = {
      {"box_ok", boxAnswer::ok},
      {"box_okcancel", boxAnswer::cancel},
      {"box_yesno", boxAnswer::no},
      {"box_yesnocancel", boxAnswer::yes},
      {"box_retrycancel", boxAnswer::retry},
  };
  galleryBench g;
  for (const auto& [button, answer] : cases) {
    g.browser.answerBox("Галерея", answer);
    ASSERT_TRUE(g.browser.click(g.w, std::string("#") + button));
    g.loop.pump();
    EXPECT_EQ(g.text("#box_answer"), std::string(button) + ": " + boxButtonId(answer));
  }
  EXPECT_EQ(g.browser.unscriptedBoxes(), 0u);
  ASSERT_EQ(g.browser.boxes().size(), 5u);
  EXPECT_EQ(g.browser.boxes()[2].buttons, (std::vector<std::string>{"IDYES", "IDNO"}));
  EXPECT_EQ(g.browser.boxes()[4].buttons, (std::vector<std::string>{"IDRETRY", "IDCANCEL"}));
}

TEST(Gallery, DropsMoveItemsBetweenListsAndIntoTheTrash) {
  galleryBench g;
  ASSERT_TRUE(g.browser.drop(g.w, "#drag_alpha", "#list_right", 0));
  g.loop.pump();
  EXPECT_EQ(g.ids("#list_right > li"), (std::vector<std::string>{"drag_alpha", "drag_delta"}));
  EXPECT_EQ(g.ids("#list_left > li"), (std::vector<std::string>{"drag_beta", "drag_gamma"}));
  EXPECT_EQ(g.lines.back(), "dropped drag_alpha on list_right[0]");

  // Within the same list: the index does not count the dragged item; past the end is
  // the end.
  g.browser.drop(g.w, "#drag_beta", "#list_left", 1);
  g.loop.pump();
  EXPECT_EQ(g.ids("#list_left > li"), (std::vector<std::string>{"drag_gamma", "drag_beta"}));
  g.browser.drop(g.w, "#drag_delta", "#list_left", 99);
  g.loop.pump();
  EXPECT_EQ(g.ids("#list_left > li"),
            (std::vector<std::string>{"drag_gamma", "drag_beta", "drag_delta"}));

  g.browser.drop(g.w, "#drag_gamma", "#trash", 0);
  g.loop.pump();
  EXPECT_EQ(g.browser.first(g.w, "#drag_gamma"), nullptr);
  EXPECT_EQ(g.text("#drop_result"), "drag_gamma → trash");

  // Only the lists' items move: a tab dropped on a list stays where it is.
  g.browser.drop(g.w, "#tab_grid", "#list_left", 0);
  g.loop.pump();
  EXPECT_NE(g.browser.first(g.w, "#gallery_strip > #tab_grid"), nullptr);
}

TEST(Gallery, MenusOpenPickAndCloseAgain) {
  galleryBench g;
  // The context menu shows for the area, not elsewhere.
  g.browser.contextMenu(g.w, "#status_bar");
  g.loop.pump();
  EXPECT_FALSE(g.hasState("#context_menu", statePopup));
  ASSERT_TRUE(g.browser.contextMenu(g.w, "#context_area"));
  g.loop.pump();
  EXPECT_TRUE(g.hasState("#context_menu", statePopup));
  g.browser.menuItem(g.w, "#ctx_paste");
  g.loop.pump();
  EXPECT_FALSE(g.hasState("#context_menu", statePopup));
  EXPECT_EQ(g.text("#menu_choice"), "ctx_paste (Вставить)");

  // The menu button opens its menu; a second click closes it; dismissed, it opens again.
  g.browser.click(g.w, "#menu_button");
  g.loop.pump();
  EXPECT_TRUE(g.hasState("#popup_menu", statePopup));
  g.browser.click(g.w, "#menu_button");
  g.loop.pump();
  EXPECT_FALSE(g.hasState("#popup_menu", statePopup));
  g.browser.click(g.w, "#menu_button");
  g.loop.pump();
  g.browser.dismissPopup(g.w, "#popup_menu");
  g.loop.pump();
  EXPECT_FALSE(g.hasState("#popup_menu", statePopup));
  g.browser.click(g.w, "#menu_button");
  g.loop.pump();
  EXPECT_TRUE(g.hasState("#popup_menu", statePopup));
  g.browser.menuItem(g.w, "#menu_export");
  g.loop.pump();
  EXPECT_EQ(g.text("#menu_choice"), "menu_export (Экспорт)");
  EXPECT_FALSE(g.hasState("#popup_menu", statePopup));
}

TEST(Gallery, TabsGridListsAndChecks) {
  galleryBench g;
  // Ctrl+Tab with nothing focused goes to the tab set.
  g.browser.key(g.w, "", "Tab", {.ctrl = true});
  g.loop.pump();
  EXPECT_TRUE(g.hasState("#tab_grid", stateCurrent));
  EXPECT_TRUE(g.hasState("#panel_grid", stateExpanded));
  EXPECT_EQ(g.lines.back(), "tab grid");
  g.browser.key(g.w, "#status_bar", "Tab", {.ctrl = true, .shift = true});
  g.loop.pump();
  EXPECT_TRUE(g.hasState("#tab_controls", stateCurrent));

  // A header click sorts the rows by that column.
  g.browser.click(g.w, "#col_code");
  g.loop.pump();
  std::vector<std::string> codes;
  for (const recordingHost::node* row : g.browser.select(g.w, "#big_grid_rows > tr"))
    codes.push_back(row->elements()[1]->text());
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(codes[0], "00000");
  EXPECT_EQ(codes[1], "00001");
  EXPECT_EQ(codes[2], "00002");

  g.browser.click(g.w, "#check_one");
  g.browser.click(g.w, "#radio_pi");
  g.loop.pump();
  EXPECT_EQ(g.text("#check_result"), "check_one check_two radio_pi");
  g.browser.choose(g.w, "#select_list", "option[value='5.8.0']");
  g.loop.pump();
  EXPECT_EQ(g.text("#selection"), "select_list: 5.8.0");
  g.browser.click(g.w, "#exp_logs > .caption");
  g.loop.pump();
  EXPECT_EQ(g.text("#expanded_item"), "exp_logs");
  EXPECT_TRUE(g.hasState("#exp_logs", stateExpanded));
  EXPECT_TRUE(g.hasState("#exp_boot", stateCollapsed));
}

// The gallery starts with the skin alone: no registry, no installation.
TEST(GalleryProgram, StartsWithoutAnInstallation) {
  consoleUiOptions options;
  options.port = 0;
  options.openBrowser = false;
  options.exitAfterStart = true;
  options.skinDirectory = ZV_SKIN_SOURCE_DIR;
  EXPECT_EQ(runGallery(options), 0);

  // The skin option belongs to the gallery.
  char program[] = "zvcenter";
  char skin[] = "--skin";
  char dir[] = "/tmp";
  char* argv[] = {program, skin, dir, nullptr};
  EXPECT_EQ(consoleMain(3, argv), 2);
}

}  // namespace
}  // namespace zv
