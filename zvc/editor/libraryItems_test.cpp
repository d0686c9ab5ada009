#include "zvc/editor/libraryItems.h"

#include "testsupport/optionSpecFixture.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

template <class Entry>
std::shared_ptr<Entry> entryWith(
    const char* name, std::initializer_list<std::pair<const char*, const char16_t*>> options) {
  auto entry = std::make_shared<Entry>(name, "/");
  for (auto [key, value] : options) entry->set(key, value);
  return entry;
}

// The item of every use, byte for byte: at most three options shown, " ... " after the
// third, error marks by the specification in use.
TEST(LibraryItems, ItemForms) {
  const versionSpec* spec = &test::optionSpec();
  auto four = entryWith<GUITemplatesFile>(
      "office",
      {{"video", u"vesa"}, {"timeout", u"10"}, {"keyboard", u"de"}, {"Resolution", u"1"}});
  auto three =
      entryWith<GUITemplatesFile>("k", {{"video", u"a"}, {"timeout", u"1"}, {"keyboard", u"b"}});
  auto failing = entryWith<GUITemplatesFile>("old", {{"timeout", u"soon"}});
  auto all = entryWith<GUITemplatesFile>("all", {{"video", u"\u0416"}});
  auto allFailing = entryWith<GUITemplatesFile>("all", {{"server", u"x"}});
  auto rdp = entryWith<GUIConnectionsFile>("rdp", {{"displayName", u"Office <RDP>"}});
  auto badRdp = entryWith<GUIConnectionsFile>("b&d", {{"server", u"bad"}});

  struct row {
    std::string html;
    const char* expected;
  };
  const row rows[] = {
      {templateItemHtml(*four, templateItemUse::library, spec),
       "<li class=\"template\" id=\"sourcetemplate\" file=\"office\" draggable=\"true\"><img "
       "src=\"template_l.png\">"
       "<div class=\"policontext\"><label>office</label><p>video=vesa</p><p>timeout=10</p>"
       "<p>keyboard=de</p> ... </div></li>"},
      {templateItemHtml(*three, templateItemUse::terminal, spec),
       "<li class=\"template\" id=\"template\" file=\"k\" draggable=\"true\"><img "
       "src=\"template_l.png\">"
       "<div class=\"policontext\"><label>k</label><p>video=a</p><p>timeout=1</p>"
       "<p>keyboard=b</p> ... </div></li>"},
      {templateItemHtml(*failing, templateItemUse::library, spec),
       "<li class=\"template error_curr\" id=\"sourcetemplate\" titleid=\"error_curr\" "
       "file=\"old\" draggable=\"true\"><img src=\"template_l.png\"><div "
       "class=\"policontext\"><label>old</label>"
       "<p>timeout=soon</p></div></li>"},
      {templateItemHtml(*failing, templateItemUse::terminal, spec),
       "<li class=\"template error_ver\" id=\"template\" titleid=\"error_ver\" file=\"old\" "
       "draggable=\"true\">"
       "<img src=\"template_l.png\"><div class=\"policontext\"><label>old</label>"
       "<p>timeout=soon</p></div></li>"},
      {templateItemHtml(*failing, templateItemUse::library, nullptr),
       "<li class=\"template\" id=\"sourcetemplate\" file=\"old\" draggable=\"true\"><img "
       "src=\"template_l.png\">"
       "<div class=\"policontext\"><label>old</label><p>timeout=soon</p></div></li>"},
      {allTerminalsItemHtml(*all, spec),
       "<li class=\"all_template all_zvc\" id=\"sourcetemplate\" file=\"all\" draggable=\"true\">"
       "<img src=\"template_l.png\"><div class=\"policontext\"><label>all</label>"
       "<p>video=\xD0\x96</p></div></li>"},
      {allTerminalsItemHtml(*allFailing, spec),
       "<li class=\"template all_zvc error_curr\" id=\"sourcetemplate\" title_id=\"error_curr\" "
       "file=\"all\" draggable=\"true\"><img src=\"template_l.png\"><div "
       "class=\"policontext\"><label>all</label>"
       "<p>server=x</p></div></li>"},
      {connectionItemHtml(*rdp, monitor::first, spec),
       "<li class=\"connection\" id=\"connection\" file=\"rdp\" draggable=\"true\"><img "
       "src=\"connection.png\">"
       "<div class=\"policontext\"><label>Office &lt;RDP&gt;</label>"
       "<p>displayName=Office &lt;RDP&gt;</p></div></li>"},
      {connectionItemHtml(*badRdp, monitor::second, spec),
       "<li class=\"M2_connection error_curr\" id=\"M2_connection\" titleid=\"error_curr\" "
       "file=\"b&amp;d\" draggable=\"true\"><img src=\"connection.png\"><div class=\"policontext\">"
       "<label>b&amp;d</label><p>server=bad</p></div></li>"},
  };
  for (const row& r : rows) EXPECT_EQ(r.html, r.expected);
}

// The library list starts with the all-terminals template; the menus list every entry.
TEST(LibraryItems, ListsAndMenus) {
  configLibraries libraries;
  libraries.insertTemplate(entryWith<GUITemplatesFile>("b", {}));
  libraries.insertTemplate(entryWith<GUITemplatesFile>("a", {}));
  libraries.insertConnection(entryWith<GUIConnectionsFile>("rdp", {{"displayName", u"Z"}}));
  libraries.insertConnection(entryWith<GUIConnectionsFile>("ica", {}));

  const std::string list = templateLibraryHtml(libraries, nullptr);
  const std::size_t all = list.find("file=\"all\"");
  const std::size_t a = list.find("file=\"a\"");
  const std::size_t b = list.find("file=\"b\"");
  EXPECT_TRUE(all < a && a < b) << list;

  EXPECT_EQ(templateMenuHtml(libraries),
            "<li id=\"menuTmplt\" file=\"a\">a</li><li id=\"menuTmplt\" file=\"b\">b</li>");
  EXPECT_EQ(connectionMenuHtml(libraries, monitor::first),
            "<li id=\"menuConn\" file=\"ica\">ica</li><li id=\"menuConn\" file=\"rdp\">Z</li>");
  EXPECT_EQ(connectionMenuHtml(libraries, monitor::second),
            "<li id=\"M2_menuConn\" file=\"ica\">ica</li>"
            "<li id=\"M2_menuConn\" file=\"rdp\">Z</li>");
  EXPECT_EQ(connectionLibraryHtml(libraries, monitor::second, nullptr).find("M2_connection"),
            std::string("<li class=\"").size());
}

}  // namespace
}  // namespace zv
