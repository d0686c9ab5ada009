// The skin directory is installation data that the documents name by file: the style
// sheets of the main window's skeleton and of the dialogs, and the pictures of the main
// frame, the terminals list and the library items. These tests hold the repository's
// skin/ to that: every named file is there, the sheets read as CSS, their url()s
// resolve, their behaviour declarations name behaviours the engine has and attach them
// to the elements the pages use.
#include "htmlview/behavior.h"
#include "htmlview/behaviorRules.h"
#include "htmlview/eventTesting.h"
#include "htmlview/selector.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace zv {
namespace {

const std::string skinDir = ZV_SKIN_SOURCE_DIR;

// The main window's skeleton, in its order.
const std::vector<std::string> skeletonSheets = {
    "common-body.css",       "command-button.css", "main-button.css",      "main-select.css",
    "main-tabs.css",         "video.css",          "main-logging.css",     "utility-main.css",
    "std-menu.css",          "config-main.css",    "config-templates.css", "config-connections.css",
    "terminals_list_new.css"};

// The sheets that the dialogs and the boot media wizard load besides those.
const std::vector<std::string> dialogSheets = {"options.css",
                                               "options-grid.css",
                                               "options-details.css",
                                               "dhcp-options-grid.css",
                                               "dhcp-options-details.css",
                                               "copyConfig-grid.css",
                                               "inputFileName.css",
                                               "main-body.css",
                                               "USB_wizard.css"};

// The gallery of controls (zvcenter --gallery).
const std::vector<std::string> gallerySheetNames = {"gallery.css"};

// Mode buttons, list icons and library item pictures.
const std::vector<std::string> pictures = {"terminals.png",
                                           "tools.png",
                                           "BOOT_USB.png",
                                           "BOOT_pi.png",
                                           "terminal_for_list.png",
                                           "x86.png",
                                           "uefi.png",
                                           "pi.png",
                                           "pi_64.png",
                                           "windows.png",
                                           "cdrom.png",
                                           "usb.png",
                                           "group.png",
                                           "config.png",
                                           "config_broken.png",
                                           "config_none.png",
                                           "template_l.png",
                                           "connection.png",
                                           "connection_fix.png"};

std::string sheet(const std::string& name) {
  return test::readFile(skinDir + name);
}

std::vector<std::string> allSheets() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(skinDir))
    if (entry.path().extension() == ".css") names.push_back(entry.path().filename().string());
  return names;
}

std::uint32_t bigEndian32(const std::string& bytes, std::size_t at) {
  return std::uint32_t(std::uint8_t(bytes[at])) << 24 |
         std::uint32_t(std::uint8_t(bytes[at + 1])) << 16 |
         std::uint32_t(std::uint8_t(bytes[at + 2])) << 8 | std::uint8_t(bytes[at + 3]);
}

// What is wrong with a sheet as CSS text, or empty: braces and parentheses must
// balance outside comments and strings, comments and strings must end, and a
// declaration block may not hold a block of its own (nesting is not read by the
// console's reader of behaviour rules).
std::string cssProblem(const std::string& css) {
  int braces = 0;
  int parens = 0;
  for (std::size_t i = 0; i < css.size(); ++i) {
    char c = css[i];
    if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
      std::size_t end = css.find("*/", i + 2);
      if (end == std::string::npos) return "a comment does not end";
      i = end + 1;
    } else if (c == '"' || c == '\'') {
      std::size_t j = i + 1;
      while (j < css.size() && css[j] != c && css[j] != '\n') j += css[j] == '\\' ? 2 : 1;
      if (j >= css.size() || css[j] != c) return "a string does not end";
      i = j;
    } else if (c == '{') {
      if (++braces > 1 && css.rfind("@media", i) == std::string::npos)
        return "a block inside a block at " + std::to_string(i);
    } else if (c == '}') {
      if (--braces < 0) return "a '}' without its '{' at " + std::to_string(i);
    } else if (c == '(') {
      ++parens;
    } else if (c == ')') {
      if (--parens < 0) return "a ')' without its '(' at " + std::to_string(i);
    }
  }
  if (braces != 0) return "a block does not end";
  if (parens != 0) return "a '(' does not end";
  return {};
}

// The targets of the sheet's url()s.
std::vector<std::string> urls(const std::string& css) {
  std::vector<std::string> out;
  for (std::size_t at = css.find("url("); at != std::string::npos; at = css.find("url(", at + 4)) {
    std::size_t end = css.find(')', at);
    if (end == std::string::npos) break;
    std::string target = css.substr(at + 4, end - at - 4);
    if (!target.empty() && (target.front() == '"' || target.front() == '\''))
      target = target.substr(1, target.size() - 2);
    out.push_back(target);
  }
  return out;
}

TEST(SkinFiles, HoldEverySheetAndPictureTheDocumentsName) {
  for (const auto* names : {&skeletonSheets, &dialogSheets}) {
    for (const std::string& name : *names) {
      SCOPED_TRACE(name);
      EXPECT_FALSE(sheet(name).empty());
    }
  }
  for (const std::string& name : pictures) {
    SCOPED_TRACE(name);
    std::string png = test::readFile(skinDir + name);
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    std::uint32_t width = bigEndian32(png, 16), height = bigEndian32(png, 20);
    EXPECT_TRUE(width >= 16 && width <= 64 && height == width) << width << "x" << height;
  }
}

TEST(SkinFiles, PicturesAreRenderedFromTheirSources) {
  // Each picture has its SVG source, and each source its picture, so that a changed
  // picture can be made again.
  std::set<std::string> sources, rendered;
  for (const auto& entry : std::filesystem::directory_iterator(skinDir + "src/images"))
    if (entry.path().extension() == ".svg") sources.insert(entry.path().stem().string());
  for (const auto& entry : std::filesystem::directory_iterator(skinDir))
    if (entry.path().extension() == ".png") rendered.insert(entry.path().stem().string());
  EXPECT_EQ(sources, rendered);
}

TEST(SkinSheets, ReadAsCssAndPointOnlyAtSkinFiles) {
  EXPECT_EQ(cssProblem("a { b: url(x.png) }"), "");
  EXPECT_NE(cssProblem("a { b: c } }"), "");
  EXPECT_NE(cssProblem("a { b: \"c }"), "");
  EXPECT_NE(cssProblem("a { b { c: d } }"), "");
  EXPECT_NE(cssProblem("/* a { b: c }"), "");

  std::vector<std::string> names = allSheets();
  EXPECT_EQ(names.size(), skeletonSheets.size() + dialogSheets.size() + gallerySheetNames.size());
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    std::string css = sheet(name);
    EXPECT_EQ(cssProblem(css), "");
    for (const std::string& target : urls(css)) {
      SCOPED_TRACE(target);
      EXPECT_EQ(target.find('/'), std::string::npos);
      EXPECT_TRUE(test::exists(skinDir + target));
    }
  }
}

TEST(SkinSheets, NameOnlyBehavioursTheEngineHasWithSelectorsItReads) {
  std::set<std::string> named;
  for (const std::string& name : allSheets()) {
    for (const behaviorDeclaration& d : readBehaviorDeclarations(sheet(name))) {
      for (const std::string& behaviour : d.names) {
        SCOPED_TRACE(name + ": " + behaviour);
        EXPECT_NE(findBehaviour(behaviour), nullptr);
        named.insert(behaviour);
      }
      for (const std::string& text : d.selectors) {
        SCOPED_TRACE(name + ": " + text);
        EXPECT_NE(selector::compile(text), nullptr);
      }
    }
  }
  // The log view comes from the engine's built-in rule, every other behaviour from
  // the skin.
  EXPECT_EQ(named, (std::set<std::string>{"tabs", "expandable-list", "collapsible-list", "grid",
                                          "sortable-grid", "sel-grid", "x-form"}));
}

std::string behavioursOf(test::eventBench& bench, std::string_view id) {
  std::string out;
  for (behavior* b : bench.router.behaviorsOf(bench.at(id)))
    out += (out.empty() ? "" : " ") + b->name();
  return out;
}

TEST(SkinSheets, AttachTheBehavioursToTheElementsOfTheMainWindow) {
  // The skeleton: every sheet's text in one style element, as the main window loads it.
  std::string style;
  for (const std::string& name : skeletonSheets) style += sheet(name);
  test::eventBench bench(
      "<html><head><style>" + style +
      "</style></head><body>"
      "<div id=col_table><widget id=terminals_widget type=select><option id=row1 tlgID=x>"
      "</option></widget></div>"
      "<div id=main_tabs class=tabs><div class=strip id=strip>"
      "<div panel=panel-templates id=tab1 selected>Терминал</div>"
      "<div panel=panel-text id=tab2>Текст</div></div>"
      "<div name=panel-templates id=panel1><table id=plain><tr><td>x</td></tr></table></div>"
      "<div name=panel-text id=panel2><div type=logview id=log></div></div></div>"
      "<ul id=screens class=expandable-list><li id=open1 default></li></ul>"
      "<form id=form1><button id=ok default>OK</button></form>"
      "</body></html>");

  EXPECT_EQ(behavioursOf(bench, "main_tabs"), "tabs");
  EXPECT_EQ(behavioursOf(bench, "log"), "logview");
  EXPECT_EQ(behavioursOf(bench, "form1"), "x-form");
  EXPECT_EQ(behavioursOf(bench, "screens"), "expandable-list");
  // Nothing else picks up a behaviour by a rule that reaches too far.
  for (std::string_view id : {"col_table", "terminals_widget", "row1", "strip", "tab1", "panel1",
                              "panel2", "plain", "ok"}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(behavioursOf(bench, id), "");
  }

  // The tab set works as the sheets attach it: the selected tab's panel is open, and
  // a click on the other tab opens the other panel.
  EXPECT_TRUE(bench.at("panel1").hasState(stateExpanded));
  bench.click("tab2");
  EXPECT_TRUE(bench.at("panel2").hasState(stateExpanded));
  EXPECT_TRUE(bench.at("panel1").hasState(stateCollapsed));
}

TEST(SkinSheets, AttachTheGridsOfTheDialogsAndToolPages) {
  test::eventBench bench(
      "<table id=terminal_options class=option_grid fixedrows=1><tr><th>Параметр</th></tr>"
      "<tr id=o1><td>bpp</td></tr></table>"
      "<table id=dhcp_options class=dhcp_option_grid><tr num=3><td>3</td></tr></table>"
      "<table id=groups_editor class=selectable_grid><tr><td>x</td></tr></table>"
      "<table id=copyto_list class=copytolist><tr><td>x</td></tr></table>"
      "<table id=hidden_list class=max_table><tr><td>x</td></tr></table>");
  for (const std::string& name : skeletonSheets) bench.router.addStyleSheet(sheet(name));
  for (const std::string& name : dialogSheets) bench.router.addStyleSheet(sheet(name));
  bench.router.settle();

  EXPECT_EQ(behavioursOf(bench, "terminal_options"), "sortable-grid");
  EXPECT_EQ(behavioursOf(bench, "dhcp_options"), "sel-grid");
  EXPECT_EQ(behavioursOf(bench, "groups_editor"), "sel-grid");
  EXPECT_EQ(behavioursOf(bench, "copyto_list"), "grid");
  EXPECT_EQ(behavioursOf(bench, "hidden_list"), "");

  // A double click on an option row reaches the console as the row double click the
  // options editor opens its editor on.
  bench.events();
  bench.dblclick("o1");
  EXPECT_NE(bench.events().find("o1"), std::string::npos);
}

}  // namespace
}  // namespace zv
