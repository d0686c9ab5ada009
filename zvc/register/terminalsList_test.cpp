#include "zvc/register/terminalsList.h"

#include "common/DHCPIgnoreMACs.h"
#include "common/installPaths.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"
#include "zvc/ui/messageBox.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

namespace zv {
namespace {

using namespace std::chrono;

constexpr const char* frameHtml =
    "<html><body>"
    "<button id=menu_terminals title='Настройка колонок'>$<menu class=checkmenu></menu></button>"
    "<widget id=terminals_widget type=select></widget>"
    "<div id=main_tabs class=tabs><div class=strip>"
    "<div panel=panel-templates selected>Терминал</div><div panel=panel-dhcp>DHCP</div>"
    "<div panel=panel-logs>Логи</div></div></div>"
    "<select id=options_version></select>"
    "</body></html>";

// 2026-03-10 12:00 UTC.
const system_clock::time_point noon = sys_days{year{2026} / 3 / 10} + hours{12};

class TerminalsList : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().terminalsDir);
    makeDirectories(paths().dhcpDir);
    makeDirectories(paths().logsDir);
    doc.load(frameHtml);
    doc.byId("main_tabs")->append(parse(listContextMenuHtml()));
    terminals.offerToList = [this](terminal& t) { list.offerTerminal(t); };
    list.hooks().now = [this] { return clockNow; };
    list.hooks().showTerminal = [this](terminal* t) { shown.push_back(t); };
    list.hooks().reloadTerminal = [this](terminal&) { ++reloads; };
  }
  void TearDown() override {
    setMessageBoxHandler({});
    resetInstallationPaths();
  }

  elementRef parse(const std::string& html) {
    elementRef holder = doc.createElement("div");
    holder->setInnerHtml(html);
    elementRef first = holder->child(0);
    first->detach();
    return first;
  }
  std::string directoryOf(const terminal& t) {
    return paths().terminalsDir + t.mac.directoryName() + "/";
  }
  // A terminal with its directory; `config` writes an empty configuration file.
  terminal& add(const char* mac, const char* host = "", bool config = false) {
    auto t = std::make_unique<terminal>(*parseMac(std::string_view(mac), ':'), libraries);
    t->host = host;
    makeDirectories(directoryOf(*t));
    if (config) test::writeFile(directoryOf(*t) + "config.zvc", "\xFF\xFE");
    return *terminals.addTerminal(std::move(t));
  }
  void seenAt(const terminal& t, system_clock::time_point when) {
    timespec times[2];
    auto ns = duration_cast<nanoseconds>(when.time_since_epoch()).count();
    times[0] = times[1] = timespec{time_t(ns / 1000000000), long(ns % 1000000000)};
    ASSERT_EQ(::utimensat(AT_FDCWD, directoryOf(t).c_str(), times, 0), 0);
  }
  element& widget() { return *doc.byId("terminals_widget"); }
  // The tlgID of every row, in order.
  std::vector<std::string> rowKeys() {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < widget().childCount(); ++i)
      keys.emplace_back(*widget().child(i)->attribute("tlgID"));
    return keys;
  }
  std::vector<std::string> displayedHosts() {
    std::vector<std::string> hosts;
    for (terminal* t : list.displayed())
      hosts.push_back(t->host.empty() ? t->mac.logText() : t->host);
    return hosts;
  }

  test::tempDir dir;
  document doc;
  configLibraries libraries;
  terminalRegister terminals{libraries};
  userSettings settings;
  terminalsList list{doc, terminals, settings};
  system_clock::time_point clockNow = noon;
  std::vector<terminal*> shown;
  int reloads = 0;
};

// --- Markup ---------------------------------------------------------------------------

// A real terminal's row, byte for byte: class, current mark, icons, MAC and IP side by
// side, the sorted column marked, the version last.
TEST_F(TerminalsList, RowMarkupOfTerminal) {
  terminal& t = add("00:1A:2B:3C:4D:5E", "ws-1", true);
  t.ip = inet_addr("10.0.0.5");
  t.version = "6.2.63";
  t.platform = platformX86;
  t.onlineCountdown = 2;
  settings.showIP = settings.showOnline = true;
  settings.sortColumn = sortByHost;
  EXPECT_EQ(list.rowHtml(t, true),
            "<option class=\"online\" current  tlgID=\"00:1A:2B:3C:4D:5E\"><div class=\"div_h\">"
            "<div class=\"div_images\"><img class=\"platform_img\" src=\"x86.png\" title=\"X86\" "
            "titleid=\"X86\"><img class=\"config_img\" src=\"config.png\" title=\"config\" "
            "titleid=\"config\"></div></div><div class=\"div_col\"><div class=\"div_h\"><div "
            "name=\"MAC_item\" class=\"MAC_item\">00:1A:2B:3C:4D:5E&nbsp;&nbsp;</div><div "
            "name=\"IP_item\" class=\"IP_item\">10.0.0.5&nbsp;&nbsp;</div></div><div "
            "name=\"host_item\" class=\"host_item sortProperty\">ws-1</div><div class=\"div_h\">"
            "<div name=\"version_item\" class=\"version_item\">v.6.2.63&nbsp;&nbsp;</div></div>"
            "</div></option>");

  // Hidden wins over online; a broken configuration; the comment's markup characters
  // stay text; an empty host is left out; the last-seen cell precedes the version.
  t.hidden = true;
  t.host.clear();
  t.comment = u"<b>Кабинет & \"5\"</b>";
  t.platform = platformWindows;
  ::rename((directoryOf(t) + "config.zvc").c_str(), (directoryOf(t) + "config.zvc.broken").c_str());
  seenAt(t, noon - hours{1});
  list.rebuildRows();  // takes today's date
  settings.showIP = false;
  settings.showNote = settings.showTime = true;
  settings.sortColumn = sortByComment;
  EXPECT_EQ(
      list.rowHtml(t, false),
      "<option class=\"hidden_item\" tlgID=\"00:1A:2B:3C:4D:5E\"><div class=\"div_h\"><div "
      "class=\"div_images\"><img class=\"platform_img\" src=\"windows.png\" title=\"win\" "
      "titleid=\"win\"><img class=\"config_img\" src=\"config_broken.png\" title=\"config "
      "broken\" titleid=\"config_broken\"></div></div><div class=\"div_col\"><div "
      "name=\"MAC_item\" class=\"MAC_item\">00:1A:2B:3C:4D:5E&nbsp;&nbsp;</div><div "
      "name=\"comment_item\" class=\"comment_item sortProperty\">&lt;b&gt;Кабинет &amp; "
      "&quot;5&quot;&lt;/b&gt;</div><div class=\"div_h\"><div class=\"accesstime\">Сегодня"
      "</div><div name=\"version_item\" class=\"version_item\">v.6.2.63&nbsp;&nbsp;</div></div>"
      "</div></option>");
}

// Pseudo-terminals: the tmplt mark, their own icon and name, no sort mark on the name,
// no version and no last-seen text.
TEST_F(TerminalsList, RowMarkupOfPseudoTerminals) {
  terminal& cd = add("CD:CD:CD:CD:CD:CD", "", true);
  terminal& group = add("FF:FF:FF:FF:FF:03");
  terminal& sd = add("5D:5D:5D:5D:5D:5D");
  sd.platform = platformPi2B;
  cd.version = "6.2.63";
  settings.showTime = true;
  list.hooks().groupName = [](int n) -> std::optional<std::u16string> {
    if (n == 3) return u"Офис";
    return std::nullopt;
  };
  EXPECT_EQ(list.rowHtml(cd, true),
            "<option class=\"\" current  tmplt  tlgID=\"CD:CD:CD:CD:CD:CD\"><div class=\"div_h\">"
            "<div class=\"div_images\"><img class=\"platform_img\" src=\"cdrom.png\" "
            "title=\"cdrom\" titleid=\"cdrom\"><img class=\"config_img\" src=\"config.png\" "
            "title=\"config\" titleid=\"config\"></div></div><div class=\"div_col\"><div "
            "name=\"MAC_item\" class=\"MAC_item\">Загрузочный CD&nbsp;&nbsp;</div><div "
            "class=\"div_h\"><div class=\"accesstime\"></div><div name=\"version_item\" "
            "class=\"version_item\"></div></div></div></option>");

  std::string groupRow = list.rowHtml(group, false);
  EXPECT_NE(groupRow.find("<option class=\"\" tmplt  tlgID=\"FF:FF:FF:FF:FF:03\">"),
            std::string::npos);
  EXPECT_NE(groupRow.find("src=\"group.png\" title=\"group\" titleid=\"group\""),
            std::string::npos);
  EXPECT_NE(groupRow.find(">Офис&nbsp;&nbsp;<"), std::string::npos);
  EXPECT_NE(groupRow.find("src=\"config_none.png\" title=\"no config\" titleid=\"noconfig\""),
            std::string::npos);
  // The boot SD card has no icon of its own: the platform's applies.
  EXPECT_NE(list.rowHtml(sd, false).find("src=\"pi.png\" title=\"pi\" titleid=\"pi\""),
            std::string::npos);
}

// --- Columns, sort and filter ---------------------------------------------------------

// Every column off still shows the MAC; a sort column whose column is hidden falls to
// the first shown column.
TEST_F(TerminalsList, ComputeColumns) {
  struct caseRow {
    bool mac, ip, host, note, login, time;
    int sort;
    bool macAfter;
    int sortAfter;
  };
  const caseRow cases[] = {
      {false, false, false, false, false, false, 3, true, 1},
      {false, false, false, false, false, true, 5, true, 5},
      {true, false, true, false, false, false, 4, true, 1},
      {false, false, true, true, false, false, 6, false, 3},
      {false, false, false, false, true, true, 2, false, 6},
      {false, true, false, false, false, false, 2, false, 2},
      {false, false, false, true, false, false, 1, false, 4},
  };
  for (const caseRow& c : cases) {
    userSettings s;
    s.showMAC = c.mac;
    s.showIP = c.ip;
    s.showHost = c.host;
    s.showNote = c.note;
    s.showLastlogin = c.login;
    s.showTime = c.time;
    s.sortColumn = c.sort;
    computeColumns(s);
    EXPECT_EQ(s.showMAC, c.macAfter) << c.sort;
    EXPECT_EQ(s.sortColumn, c.sortAfter) << c.sort;
  }
  EXPECT_EQ(sortColumnFromCaption("Host"), 3);
  EXPECT_EQ(sortColumnFromCaption("COMMENT"), 4);
  EXPECT_EQ(sortColumnFromCaption("Последний логин"), 6);
  EXPECT_EQ(sortColumnFromCaption("Время последнего обращения"), 5);
}

// Pseudo-terminals close the list (boot USB, boot CD, boot SD, groups) under every
// sort; equal keys keep their arrival order, and a newcomer goes after its equals.
TEST_F(TerminalsList, SortOrders) {
  add("FF:FF:FF:FF:FF:02");
  terminal& b = add("00:00:00:00:00:0B", "beta");
  add("5D:5D:5D:5D:5D:5D");
  terminal& a = add("00:00:00:00:00:0A", "alpha");
  add("CD:CD:CD:CD:CD:CD");
  terminal& c = add("00:00:00:00:00:0C", "Gamma");
  add("BB:BB:BB:BB:BB:BB");
  add("FF:FF:FF:FF:FF:01");
  a.ip = inet_addr("10.0.0.20");
  b.ip = inet_addr("10.0.0.3");
  c.ip = inet_addr("9.255.0.1");
  a.comment = u"Бухгалтерия";
  b.comment = u"администратор";
  c.comment = u"Zeta";
  // Groups go on to the sort column: by MAC they are ordered, by the other columns
  // (all empty for groups) they keep their arrival order.
  std::vector<std::string> pseudoTail = {"BB:BB:BB:BB:BB:BB", "CD:CD:CD:CD:CD:CD",
                                         "5D:5D:5D:5D:5D:5D", "FF:FF:FF:FF:FF:01",
                                         "FF:FF:FF:FF:FF:02"};
  auto expect = [&](int sort, std::vector<std::string> head) {
    settings.sortColumn = sort;
    list.rebuildDisplayedList();
    head.insert(head.end(), pseudoTail.begin(), pseudoTail.end());
    EXPECT_EQ(displayedHosts(), head) << "sort " << sort;
  };
  expect(sortByMac, {"alpha", "beta", "Gamma"});
  std::swap(pseudoTail[3], pseudoTail[4]);
  expect(sortByIp, {"Gamma", "beta", "alpha"});
  expect(sortByHost, {"Gamma", "alpha", "beta"});     // bytes: capitals first
  expect(sortByComment, {"Gamma", "beta", "alpha"});  // Latin before Cyrillic, case-blind

  // Equal under the host sort: the newcomer follows the terminals already listed.
  settings.sortColumn = sortByHost;
  list.rebuildDisplayedList();
  list.rebuildRows();
  list.insertRow(add("00:00:00:00:00:01", "alpha"));
  std::vector<std::string> keys = rowKeys();
  ASSERT_EQ(keys.size(), 9u);
  EXPECT_EQ(keys[1], "00:00:00:00:00:0A");
  EXPECT_EQ(keys[2], "00:00:00:00:00:01");
  EXPECT_EQ(keys[3], "00:00:00:00:00:0B");
}

// Filters: hidden terminals only under 5, 2 wants the product flag, 3 a configuration;
// pseudo-terminals pass every filter.
TEST_F(TerminalsList, Filters) {
  terminal& plain = add("00:00:00:00:00:01", "plain");
  terminal& hidden = add("00:00:00:00:00:02", "hidden", true);
  terminal& product = add("00:00:00:00:00:03", "product");
  terminal& configured = add("00:00:00:00:00:04", "configured", true);
  add("BB:BB:BB:BB:BB:BB");
  hidden.hidden = true;
  hidden.runsProduct = product.runsProduct = configured.runsProduct = true;
  (void)plain;
  auto hosts = [&](int filter) {
    settings.filterColumn = filter;
    list.rebuildDisplayedList();
    return displayedHosts();
  };
  using v = std::vector<std::string>;
  EXPECT_EQ(hosts(1), (v{"plain", "product", "configured", "BB:BB:BB:BB:BB:BB"}));
  EXPECT_EQ(hosts(2), (v{"product", "configured", "BB:BB:BB:BB:BB:BB"}));
  EXPECT_EQ(hosts(3), (v{"configured", "BB:BB:BB:BB:BB:BB"}));
  EXPECT_EQ(hosts(5), (v{"plain", "hidden", "product", "configured", "BB:BB:BB:BB:BB:BB"}));
  test::logCapture errors;  // after the installation paths, which move the log
  settings.filterColumn = 4;
  EXPECT_FALSE(list.terminalShown(plain));
  EXPECT_TRUE(errors.contains("INTERNAL ERROR"));
}

// Sorting by last seen: terminals online first (by MAC), then the newest directory.
TEST_F(TerminalsList, SortByLastSeen) {
  terminal& old = add("00:00:00:00:00:01", "old");
  terminal& recent = add("00:00:00:00:00:02", "recent");
  terminal& onlineB = add("00:00:00:00:00:04", "onlineB");
  terminal& onlineA = add("00:00:00:00:00:03", "onlineA");
  seenAt(old, noon - hours{72});
  seenAt(recent, noon - hours{2});
  seenAt(onlineA, noon - hours{100});
  seenAt(onlineB, noon - hours{1});
  onlineA.onlineCountdown = 1;
  onlineB.onlineCountdown = 3;
  settings.showTime = true;
  settings.sortColumn = sortByLastSeen;
  list.rebuildDisplayedList();
  EXPECT_EQ(displayedHosts(), (std::vector<std::string>{"onlineA", "onlineB", "recent", "old"}));
}

// --- Last seen ------------------------------------------------------------------------

// Today and yesterday are UTC dates: 25 hours ago is "Вчера" only when its date is
// yesterday's, 00:30 today is "Сегодня", and the hourly refresh moves them past midnight.
TEST_F(TerminalsList, LastSeenAcrossMidnight) {
  settings.showTime = true;
  terminal& early = add("00:00:00:00:00:01", "early");
  terminal& dayBefore = add("00:00:00:00:00:02", "dayBefore");
  terminal& older = add("00:00:00:00:00:03", "older");
  const auto midnight = sys_days{year{2026} / 3 / 10};
  clockNow = midnight + hours{23} + minutes{30};
  seenAt(early, midnight + minutes{30});
  seenAt(dayBefore, clockNow - hours{25});            // 9 March 22:30
  seenAt(older, midnight + minutes{10} - hours{25});  // 8 March 23:10
  list.rebuildRows();
  auto cell = [&](const terminal& t) { return list.rowOf(t)->selectFirst(".accesstime")->text(); };
  EXPECT_EQ(cell(early), "Сегодня");
  EXPECT_EQ(cell(dayBefore), "Вчера");
  EXPECT_EQ(cell(older), "08.03.2026");

  clockNow = midnight + hours{24} + minutes{5};  // past midnight UTC
  doc.takeBatch();
  list.refreshLastSeen();
  EXPECT_EQ(cell(early), "Вчера");
  EXPECT_EQ(cell(dayBefore), "09.03.2026");
  EXPECT_NE(doc.takeBatch().dump().find("Вчера"), std::string::npos);

  settings.showTime = false;  // the refresh runs only with the column shown
  clockNow += hours{48};
  list.refreshLastSeen();
  EXPECT_EQ(cell(early), "Вчера");
}

// --- Rows -----------------------------------------------------------------------------

// An updated terminal's row is refreshed in place and moved; the other rows stay the
// same elements; a new terminal's row goes to its place.
TEST_F(TerminalsList, UpdateAndInsertSingleRows) {
  settings.sortColumn = sortByHost;
  terminal& a = add("00:00:00:00:00:01", "a");
  terminal& c = add("00:00:00:00:00:03", "c");
  terminal& e = add("00:00:00:00:00:05", "e");
  list.rebuildRows();
  EXPECT_EQ(terminals.current(), &a);  // the first row becomes current
  std::uint64_t cUid = list.rowOf(c)->uid();
  std::uint64_t eUid = list.rowOf(e)->uid();
  doc.takeBatch();

  a.host = "d";
  list.updateRow(a);
  EXPECT_EQ(rowKeys(), (std::vector<std::string>{"00:00:00:00:00:03", "00:00:00:00:00:01",
                                                 "00:00:00:00:00:05"}));
  EXPECT_EQ(list.rowOf(c)->uid(), cUid);
  EXPECT_EQ(list.rowOf(e)->uid(), eUid);
  EXPECT_EQ(list.rowOf(a)->selectFirst(".host_item")->text(), "d");
  EXPECT_TRUE(list.rowOf(a)->hasState(stateCurrent));  // still the current row
  std::string batch = doc.takeBatch().dump();
  EXPECT_EQ(batch.find("00:00:00:00:00:05"), std::string::npos);  // nothing of the others

  terminal& b = add("00:00:00:00:00:02", "b");
  list.insertRow(b);
  EXPECT_EQ(rowKeys(), (std::vector<std::string>{"00:00:00:00:00:02", "00:00:00:00:00:03",
                                                 "00:00:00:00:00:01", "00:00:00:00:00:05"}));
  list.insertRow(b);  // once only
  EXPECT_EQ(widget().childCount(), 4u);
}

// Past the document's lazy threshold the list goes to the browser by count, and one
// changed row costs a small batch, not the list.
TEST_F(TerminalsList, LongListsGoLazily) {
  doc.setLazyThreshold(4);
  doc.takeBatch();
  std::vector<terminal*> all;
  for (int i = 1; i <= 8; ++i) {
    std::string mac = "00:00:00:00:00:0" + std::to_string(i);
    all.push_back(&add(mac.c_str(), ("ws-" + std::to_string(i)).c_str()));
  }
  list.rebuildRows();
  std::string batch = doc.takeBatch().dump();
  EXPECT_NE(batch.find("\"lazy\":{\"count\":8}"), std::string::npos);
  EXPECT_EQ(batch.find("ws-5"), std::string::npos);  // rows go when the browser asks
  // Rows are made when first asked for, with the terminal as it is then.
  all[1]->host = "before-shown";
  list.updateRow(*all[1]);
  std::string rows = doc.rows(widget().uid(), 1, 5).dump();
  EXPECT_NE(rows.find("before-shown"), std::string::npos);
  EXPECT_NE(rows.find("ws-5"), std::string::npos);
  EXPECT_EQ(rows.find("ws-6"), std::string::npos);
  EXPECT_EQ(doc.takeBatch().dump().find("ws-"), std::string::npos);  // no second copy

  // A row the browser holds changes by itself; one it never got is not sent.
  all[4]->host = "renamed";
  list.updateRow(*all[4]);
  all[6]->host = "unseen";
  list.updateRow(*all[6]);
  batch = doc.takeBatch().dump();
  EXPECT_NE(batch.find("renamed"), std::string::npos);
  EXPECT_EQ(batch.find("unseen"), std::string::npos);
  EXPECT_EQ(batch.find("ws-6"), std::string::npos);
  EXPECT_LT(batch.size(), 2000u);
  EXPECT_NE(doc.rows(widget().uid(), 6, 7).dump().find("unseen"), std::string::npos);
}

// --- Settings menu --------------------------------------------------------------------

// The menu offers the seven columns, a sort option per shown column and the four
// filters; choosing applies on closing.
TEST_F(TerminalsList, SettingsMenu) {
  terminal& x = add("00:00:00:00:00:01", "x");
  terminal& y = add("00:00:00:00:00:02", "y");
  x.lastLogin = u"Яков";
  y.lastLogin = u"Анна";
  list.rebuildRows();
  list.rebuildMenu();
  elementRef menu = doc.byId("menu_terminals")->selectFirst("menu");
  EXPECT_EQ(menu->selectAll("button[type=checkbox].menu_li").size(), 7u);
  EXPECT_TRUE(doc.byId("showMAC")->hasState(stateChecked));
  EXPECT_FALSE(doc.byId("showLastlogin")->hasState(stateChecked));
  EXPECT_EQ(doc.byId("sort_terminals")->selectAll("option").size(), 2u);  // MAC, Host
  EXPECT_EQ(doc.byId("filter_terminals")->selectAll("option").size(), 4u);
  EXPECT_EQ(*doc.byId("filter_5")->attribute("value"), "5");
  EXPECT_NE(menu->innerHtml().find("Все, в том числе скрытые"), std::string::npos);

  // Hiding the sorted column leaves the first offered option showing.
  elementRef mac = doc.byId("showMAC");
  mac->setStates(0, stateChecked);
  list.onColumnClicked(*mac);
  EXPECT_EQ(doc.byId("sort_terminals")->value(), "Host");
  mac = doc.byId("showMAC");
  mac->setStates(stateChecked, 0);
  list.onColumnClicked(*mac);

  // Unticking every column: the menu shows the MAC that the list falls back to, and
  // its sort.
  for (const char* id : {"showMAC", "showHost"}) {
    elementRef box = doc.byId(id);
    box->setStates(0, stateChecked);
    list.onColumnClicked(*box);
  }
  EXPECT_TRUE(doc.byId("showMAC")->hasState(stateChecked));
  EXPECT_EQ(doc.byId("sort_terminals")->selectAll("option").size(), 1u);
  EXPECT_EQ(doc.byId("sort_terminals")->value(), "MAC");
  elementRef host = doc.byId("showHost");
  host->setStates(stateChecked, 0);
  list.onColumnClicked(*host);

  // Showing last login rebuilds the menu at once with its sort option.
  elementRef login = doc.byId("showLastlogin");
  login->setStates(stateChecked, 0);
  list.onColumnClicked(*login);
  EXPECT_TRUE(settings.showLastlogin);
  elementRef option = doc.byId("sort_lastlogin");
  ASSERT_TRUE(option);
  elementRef select = doc.byId("sort_terminals");
  for (elementRef& o : select->selectAll("option")) o->setStates(0, stateCurrent);
  option->setStates(stateCurrent, 0);
  select->setValue(option->text());
  list.applyMenu();
  EXPECT_EQ(settings.sortColumn, sortByLastLogin);
  EXPECT_EQ(rowKeys(), (std::vector<std::string>{"00:00:00:00:00:02", "00:00:00:00:00:01"}));
  EXPECT_NE(list.rowOf(y)->innerHtml().find("lastlogin_item sortProperty"), std::string::npos);

  // A filter choice shows its caption on the closed select, keeps the option's own
  // text for the drop-down, and is applied with the menu.
  y.hidden = true;
  elementRef filter = doc.byId("filter_terminals");
  filter->setValue("2");
  list.onFilterChosen();
  filter->setValue("5");
  list.onFilterChosen();
  EXPECT_EQ(settings.filterColumn, 5);
  EXPECT_EQ(doc.byId("filter_5")->text(), "Все, в том числе скрытые");
  EXPECT_EQ(doc.byId("filter_5")->attribute("caption"), "все, включая скрытые");
  EXPECT_EQ(filter->selectAll("option[caption]").size(), 1u);
  list.applyMenu();
  EXPECT_EQ(list.rowOf(y)->attribute("class"), "hidden_item");
}

// A new sort or filter keeps the rows that stay listed (same elements) and only puts
// them in order, moving the sort mark; columns changed would rebuild them.
TEST_F(TerminalsList, SortAndFilterKeepRows) {
  terminal& x = add("00:00:00:00:00:01", "zeta");
  terminal& y = add("00:00:00:00:00:02", "alpha");
  terminal& h = add("00:00:00:00:00:03", "hidden");
  h.hidden = true;
  list.rebuildRows();
  list.rebuildMenu();
  std::uint64_t xUid = list.rowOf(x)->uid();
  std::uint64_t yUid = list.rowOf(y)->uid();
  elementRef select = doc.byId("sort_terminals");
  for (elementRef& o : select->selectAll("option")) o->setStates(0, stateCurrent);
  doc.byId("sort_host")->setStates(stateCurrent, 0);
  select->setValue("Host");
  list.applyMenu();
  EXPECT_EQ(settings.sortColumn, sortByHost);
  EXPECT_EQ(rowKeys(), (std::vector<std::string>{"00:00:00:00:00:02", "00:00:00:00:00:01"}));
  EXPECT_EQ(list.rowOf(x)->uid(), xUid);
  EXPECT_EQ(list.rowOf(y)->uid(), yUid);
  EXPECT_EQ(list.rowOf(x)->selectFirst("[name=host_item]")->attribute("class"),
            "host_item sortProperty");
  EXPECT_EQ(list.rowOf(x)->selectFirst("[name=MAC_item]")->attribute("class"), "MAC_item");
  EXPECT_TRUE(list.rowOf(x)->hasState(stateCurrent));  // the current terminal stays marked
  EXPECT_FALSE(list.rowOf(y)->hasState(stateCurrent));

  doc.byId("filter_terminals")->setValue("5");
  list.onFilterChosen();
  list.applyMenu();
  EXPECT_EQ(rowKeys(), (std::vector<std::string>{"00:00:00:00:00:02", "00:00:00:00:00:03",
                                                 "00:00:00:00:00:01"}));
  EXPECT_EQ(list.rowOf(h)->attribute("class"), "hidden_item");
  EXPECT_EQ(list.rowOf(y)->uid(), yUid);
  list.applyMenu();  // nothing chosen since: nothing happens
  EXPECT_EQ(list.rowOf(y)->uid(), yUid);
}

// A row the filter took away comes back as the same row, unless the terminal changed
// meanwhile: then it is made anew with what changed.
TEST_F(TerminalsList, FilteredRowsComeBackCurrent) {
  terminal& a = add("00:00:00:00:00:01", "alpha");
  terminal& b = add("00:00:00:00:00:02", "beta");
  terminal& c = add("00:00:00:00:00:03", "gamma");
  a.runsProduct = true;
  list.rebuildRows();
  list.rebuildMenu();
  std::uint64_t bUid = list.rowOf(b)->uid();
  auto filter = [&](int value) {
    doc.byId("filter_terminals")->setValue(std::to_string(value));
    list.onFilterChosen();
    list.applyMenu();
  };
  filter(2);
  EXPECT_EQ(rowKeys(), std::vector<std::string>{"00:00:00:00:00:01"});
  EXPECT_EQ(list.rowOf(b), nullptr);
  c.host = "gamma-2";
  list.updateRow(c);  // still filtered out: no row
  EXPECT_EQ(list.rowOf(c), nullptr);
  filter(1);
  EXPECT_EQ(rowKeys(), (std::vector<std::string>{"00:00:00:00:00:01", "00:00:00:00:00:02",
                                                 "00:00:00:00:00:03"}));
  EXPECT_EQ(list.rowOf(b)->uid(), bUid);
  EXPECT_NE(list.rowOf(c)->selectFirst("[name=host_item]")->text().find("gamma-2"),
            std::string::npos);
  EXPECT_EQ(list.displayed().size(), 3u);
}

// --- Online marks ---------------------------------------------------------------------

// The countdown falls each minute; at 0 the row loses "online"; a hidden row keeps
// "hidden_item"; each tick broadcasts.
TEST_F(TerminalsList, OnlineTick) {
  settings.showOnline = true;
  settings.filterColumn = 5;
  terminal& a = add("00:00:00:00:00:01");
  terminal& h = add("00:00:00:00:00:02");
  a.onlineCountdown = 3;
  h.onlineCountdown = 1;
  h.hidden = true;
  int broadcasts = 0;
  list.hooks().broadcastDiscovery = [&] { ++broadcasts; };
  list.rebuildRows();
  EXPECT_EQ(list.rowOf(a)->attribute("class"), "online");
  list.onlineTick();
  EXPECT_EQ(list.rowOf(h)->attribute("class"), "hidden_item");
  list.onlineTick();
  EXPECT_EQ(list.rowOf(a)->attribute("class"), "online");
  list.onlineTick();
  EXPECT_EQ(list.rowOf(a)->attribute("class"), "");
  EXPECT_EQ(a.onlineCountdown, 0);
  EXPECT_EQ(broadcasts, 3);
  settings.showOnline = false;
  list.onlineTick();
  EXPECT_EQ(broadcasts, 3);
}

// --- Selection and commands -----------------------------------------------------------

// A pseudo-terminal hides the DHCP and logs tabs and disables the commands that need a
// machine; a terminal shows and enables them and marks how the DHCP service treats it.
TEST_F(TerminalsList, PseudoTerminalSelection) {
  terminal& t = add("00:1A:2B:3C:4D:5E", "ws");
  add("BB:BB:BB:BB:BB:BB");
  t.ip = inet_addr("10.0.0.9");
  ignoreList ignored;
  ignored.add(t.mac);
  ASSERT_TRUE(saveIgnoreList(paths().dhcpDir, ignored));
  std::vector<std::string> panels;
  list.hooks().selectPanel = [&](std::string_view p) { panels.emplace_back(p); };
  list.rebuildRows();
  ASSERT_EQ(terminals.current(), &t);
  EXPECT_EQ(doc.byId("DHCPignores")->attribute("class"), "item_checked");
  EXPECT_EQ(doc.byId("DHCPlistens")->attribute("class"), "");
  EXPECT_FALSE(doc.byId("webinterface")->hasState(stateDisabled));

  elementRef dhcpTab = doc.byId("main_tabs")->selectFirst("[panel='panel-dhcp']");
  dhcpTab->setStates(stateCurrent, 0);
  list.onRowSelected(*widget().child(1), false);
  EXPECT_EQ(terminals.current()->mac, bootUsbMac);
  EXPECT_EQ(dhcpTab->style("display"), "none");
  EXPECT_EQ(doc.byId("main_tabs")->selectFirst("[panel='panel-logs']")->style("display"), "none");
  for (const char* id : {"terminal_remove", "terminal_hide", "terminal_reboot", "options_version",
                         "mac_copy", "DHCPignores", "DHCPlistens", "webinterface"})
    EXPECT_TRUE(doc.byId(id)->hasState(stateDisabled)) << id;
  EXPECT_EQ(doc.byId("DHCPignores")->attribute("class"), "");
  EXPECT_EQ(panels, (std::vector<std::string>{"panel-templates"}));
  EXPECT_EQ(doc.byId("main_tabs")->attribute("tlgID"), "BB:BB:BB:BB:BB:BB");
  EXPECT_EQ(reloads, 2);

  // The same row again does nothing; by keyboard the terminal is not reloaded.
  list.onRowSelected(*widget().child(1), false);
  EXPECT_EQ(shown.size(), 2u);
  list.onRowSelected(*widget().child(0), true);
  EXPECT_EQ(reloads, 2);
  EXPECT_EQ(dhcpTab->style("display"), "block");
  EXPECT_FALSE(doc.byId("mac_copy")->hasState(stateDisabled));

  // Unsaved changes that may not be left keep the current row; a selection made while
  // the question is open is ignored.
  int asked = 0;
  list.hooks().mayLeave = [&] {
    ++asked;
    list.onRowSelected(*widget().child(1), false);
    return false;
  };
  list.onRowSelected(*widget().child(1), false);
  EXPECT_EQ(terminals.current(), &t);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(widget().child(0)->hasState(stateCurrent));
  EXPECT_FALSE(widget().child(1)->hasState(stateCurrent));
}

// A terminal the add or find window hands over becomes current as a click makes it: the
// panels, "main_tabs@tlgID" and the commands follow it, so deleting deletes that one. A
// terminal the filter leaves out is listed by switching to "all, hidden too". A right
// click makes the row under the pointer current first.
TEST_F(TerminalsList, MakeCurrentActsLikeAClick) {
  terminal& a = add("00:00:00:00:00:01");
  terminal& b = add("00:00:00:00:00:02");
  terminal& c = add("00:00:00:00:00:03");
  c.hidden = true;
  setMessageBoxHandler(
      [](const std::string&, const std::string&, boxButtons, boxIcon) { return boxAnswer::yes; });
  list.rebuildDisplayedList();
  list.rebuildRows();
  list.rebuildMenu();
  ASSERT_EQ(terminals.current(), &a);
  ASSERT_FALSE(list.rowOf(c));

  EXPECT_TRUE(list.makeCurrent(b));
  EXPECT_EQ(terminals.current(), &b);
  EXPECT_EQ(shown.back(), &b);
  EXPECT_EQ(doc.byId("main_tabs")->attribute("tlgID"), "00:00:00:00:00:02");
  EXPECT_TRUE(list.rowOf(b)->hasState(stateCurrent));
  EXPECT_FALSE(list.rowOf(a)->hasState(stateCurrent));
  list.removeCurrent();
  EXPECT_FALSE(isDirectory(directoryOf(b)));
  EXPECT_TRUE(isDirectory(directoryOf(a)));

  // Found but hidden under "all but hidden".
  EXPECT_TRUE(list.makeCurrent(c));
  EXPECT_EQ(settings.filterColumn, filterAll);
  EXPECT_EQ(terminals.current(), &c);
  ASSERT_TRUE(list.rowOf(c));
  EXPECT_TRUE(list.rowOf(c)->hasState(stateCurrent));
  EXPECT_TRUE(doc.byId("filter_5")->hasAttribute("selected"));
  EXPECT_EQ(doc.byId("filter_5")->attribute("caption"), "все, включая скрытые");

  // Right click inside a row that is not current.
  elementRef inner = list.rowOf(a)->selectFirst(".MAC_item");
  ASSERT_TRUE(inner);
  EXPECT_TRUE(list.onRowContext(*inner));
  EXPECT_EQ(terminals.current(), &a);
  EXPECT_EQ(doc.byId("main_tabs")->attribute("tlgID"), "00:00:00:00:00:01");
  EXPECT_TRUE(list.onRowContext(widget()));  // not on a row: the current one stays
  EXPECT_EQ(terminals.current(), &a);
  // Unsaved changes kept: no menu, the current row stays.
  list.hooks().mayLeave = [] { return false; };
  EXPECT_FALSE(list.onRowContext(*list.rowOf(c)));
  EXPECT_FALSE(list.makeCurrent(c));
  EXPECT_EQ(terminals.current(), &a);
  EXPECT_TRUE(list.rowOf(a)->hasState(stateCurrent));
  EXPECT_FALSE(list.rowOf(c)->hasState(stateCurrent));
}

// Hiding writes "hidden" and takes the row out (the next row becomes current); under
// filter 5 the row stays, marked hidden.
TEST_F(TerminalsList, HideReachesDisk) {
  terminal& a = add("00:00:00:00:00:01");
  terminal& b = add("00:00:00:00:00:02");
  list.rebuildRows();
  list.hideCurrent();
  EXPECT_EQ(test::readFile(directoryOf(a) + "hidden"), "1");
  EXPECT_TRUE(a.hidden);
  EXPECT_EQ(list.rowOf(a), nullptr);
  EXPECT_EQ(terminals.current(), &b);
  EXPECT_TRUE(list.rowOf(b)->hasState(stateCurrent));

  settings.filterColumn = 5;
  list.rebuildDisplayedList();
  list.rebuildRows();
  list.hideCurrent();
  EXPECT_EQ(list.rowOf(b)->attribute("class"), "hidden_item current");
  EXPECT_TRUE(test::exists(directoryOf(b) + "hidden"));
  EXPECT_EQ(terminals.current(), &b);
  list.hideCurrent();  // shown again
  EXPECT_FALSE(test::exists(directoryOf(b) + "hidden"));
  EXPECT_FALSE(b.hidden);
}

// Deleting asks first; on Yes the directory goes and the previous row (at the end)
// becomes current; deleting the last row leaves no current terminal.
TEST_F(TerminalsList, RemoveReachesDisk) {
  terminal& a = add("00:00:00:00:00:01");
  terminal& b = add("00:00:00:00:00:02");
  std::vector<std::string> asked;
  boxAnswer answer = boxAnswer::no;
  setMessageBoxHandler(
      [&](const std::string& text, const std::string& caption, boxButtons buttons, boxIcon) {
        asked.push_back(caption + ": " + text);
        EXPECT_EQ(buttons, boxButtons::yesNo);
        return answer;
      });
  list.rebuildRows();
  list.onRowSelected(*widget().child(1), false);
  ASSERT_EQ(terminals.current(), &b);
  list.removeCurrent();
  EXPECT_TRUE(isDirectory(directoryOf(b)));
  answer = boxAnswer::yes;
  list.removeCurrent();
  EXPECT_EQ(asked.back(),
            "Внимание: Вы действительно хотите удалить терминал со всеми настройками и "
            "конфигурационным файлом?");
  EXPECT_FALSE(isDirectory(directoryOf(b)));
  EXPECT_EQ(terminals.findByMac(b.mac), nullptr);
  EXPECT_EQ(terminals.current(), &a);
  list.removeCurrent();
  EXPECT_EQ(widget().childCount(), 0u);
  EXPECT_EQ(terminals.current(), nullptr);
  EXPECT_EQ(shown.back(), nullptr);
  EXPECT_FALSE(doc.byId("main_tabs")->hasAttribute("tlgID"));
}

// The DHCP commands add or remove the MAC according to the list's mode; a damaged list
// is not rewritten.
TEST_F(TerminalsList, DhcpIgnoreAndCopyMac) {
  terminal& t = add("00:1A:2B:3C:4D:5E");
  list.rebuildRows();
  list.setDhcpIgnored(true);
  EXPECT_EQ(test::readFile(paths().dhcpDir + "ignore_macs"), "00:1A:2B:3C:4D:5E\n");
  EXPECT_EQ(doc.byId("DHCPignores")->attribute("class"), "item_checked");
  list.setDhcpIgnored(false);
  EXPECT_EQ(test::readFile(paths().dhcpDir + "ignore_macs"), "");
  EXPECT_EQ(doc.byId("DHCPlistens")->attribute("class"), "item_checked");

  test::writeFile(paths().dhcpDir + "ignore_flag", "1");  // answer only the listed
  list.setDhcpIgnored(false);
  EXPECT_EQ(test::readFile(paths().dhcpDir + "ignore_macs"), "00:1A:2B:3C:4D:5E\n");
  EXPECT_EQ(doc.byId("DHCPlistens")->attribute("class"), "item_checked");

  test::writeFile(paths().dhcpDir + "ignore_macs", "garbage\n00:00:00:00:00:07\n");
  int boxes = 0;
  setMessageBoxHandler([&](const std::string&, const std::string&, boxButtons, boxIcon) {
    ++boxes;
    return boxAnswer::ok;
  });
  list.setDhcpIgnored(false);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(test::readFile(paths().dhcpDir + "ignore_macs"), "garbage\n00:00:00:00:00:07\n");

  std::string clipboard;
  list.hooks().setClipboard = [&](const std::string& text) { clipboard = text; };
  list.copyMac();
  EXPECT_EQ(clipboard, t.mac.logText());
}

}  // namespace
}  // namespace zv
