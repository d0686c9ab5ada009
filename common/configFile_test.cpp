#include "common/configFile.h"

#include "platform/textConv.h"
#include "testsupport/optionSpecFixture.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

// A compact picture of a configuration: general options, template names, and per monitor
// each screen as S (visible) or H (hidden) with its connections and their options.
std::string describe(const configFile& config) {
  auto options = [](const optionList& list) {
    std::string out;
    for (const configOption& o : list)
      out += (out.empty() ? "" : ";") + o.key + "=" + toUtf8(o.value);
    return out;
  };
  std::string out = "g{" + options(config.generalOptions()) + "} t{";
  for (std::size_t i = 0; i < config.templateNames().size(); ++i)
    out += (i ? "," : "") + config.templateNames()[i];
  out += "}";
  for (monitor which : {monitor::first, monitor::second}) {
    out += which == monitor::first ? " m1{" : " m2{";
    bool firstScreen = true;
    for (const configScreen& screen : config.screens(which)) {
      out += firstScreen ? "" : " ";
      firstScreen = false;
      out += screen.hidden ? "H(" : "S(";
      for (std::size_t i = 0; i < screen.connections.size(); ++i)
        out += (i ? "," : "") + screen.connections[i].name + "{" +
               options(screen.connections[i].options) + "}";
      out += ")";
    }
    out += "}";
  }
  return out;
}

bool loadText(configFile& config, const test::tempDir& dir, std::string_view text,
              const versionSpec* spec) {
  const std::string path = dir / "config.zvc";
  test::writeFile(path, text);
  config.clearParseFlags();
  return loadTextConfig(config, path, spec);
}

// Where each line of a file goes, with and without the specification.
TEST(ConfigFileLoad, Placement) {
  const versionSpec* spec = &test::optionSpec();
  struct row {
    const char* text;
    bool withSpec;
    const char* expected;
  };
  const row rows[] = {
      {"video=vesa\nfoo = bar\n", false, "g{video=vesa;foo=bar} t{} m1{S()} m2{}"},
      {"video=vesa\nVIDEO=drm\n", true, "g{video=drm} t{} m1{S()} m2{}"},
      {"first screen hidden\nconnection rdp1\nserver=host\n", true,
       "g{} t{} m1{H(rdp1{server=host})} m2{}"},
      // a general-only option stays general after a connection line, with a specification
      {"connection rdp1\nvideo=vesa\n", true, "g{video=vesa} t{} m1{S(rdp1{})} m2{}"},
      {"connection rdp1\nvideo=vesa\n", false, "g{} t{} m1{S(rdp1{video=vesa})} m2{}"},
      // unknown to the specification: kept where it stands
      {"custom=1\nconnection rdp1\ncustom2=2\n", true,
       "g{custom=1} t{} m1{S(rdp1{custom2=2})} m2{}"},
      // the record's spelling of the key is stored
      {"RESOLUTION=800x600\n", true, "g{Resolution=800x600} t{} m1{S()} m2{}"},
      // connection-only before the layout: refused with, then kept without specification
      {"server=host\n", true, "g{server=host} t{} m1{S()} m2{}"},
      {"internal=1\n", true, "g{internal=1} t{} m1{S()} m2{}"},
      {"keyboard=de\nconnection a\nkeyboard=fr\n", true,
       "g{keyboard=de} t{} m1{S(a{keyboard=fr})} m2{}"},
      // "next" begins the connection part; an option there makes an unnamed connection
      {"next screen\nserver=x\n", true, "g{} t{} m1{S() S({server=x})} m2{}"},
      // "first" does not
      {"first screen\nserver=x\n", true, "g{server=x} t{} m1{S()} m2{}"},
      {"connection a\nnext screenhidden\nconnection b\nM2_next screen\nconnection c\n"
       "server=1\nM2_next SCREEN Hidden\n",
       true, "g{} t{} m1{S(a{}) H(b{})} m2{S(c{server=1}) H()}"},
      {"template a\ntemplate b\nTemplate a\n", false, "g{} t{a,b,a} m1{S()} m2{}"},
      // after M2_next, connections go to the second monitor even after a "next"
      {"M2_next screen\nnext screen\nconnection x\n", false, "g{} t{} m1{S() S()} m2{S(x{})}"},
      {"connection\nkey=v\n", false, "g{} t{} m1{S({key=v})} m2{}"},
      {"first screen hidden hidden\nfirst screen\n", false, "g{} t{} m1{S()} m2{}"},
      {"next screen\nnext screen\nnext screen\n", false, "g{} t{} m1{S() S() S() S()} m2{}"},
  };
  for (const row& r : rows) {
    test::tempDir dir;
    test::logCapture log;
    configFile config;
    EXPECT_TRUE(loadText(config, dir, r.text, r.withSpec ? spec : nullptr)) << r.text;
    EXPECT_EQ(describe(config), r.expected) << r.text;
  }
}

// Layout lines in a wrong place or with a wrong value make the load fail and set the file
// aside.
TEST(ConfigFileLoad, MalformedLayoutLines) {
  const char* const texts[] = {
      "next screen\nnext screen\nnext screen\nnext screen\n",  // a fifth screen
      "next window\n",
      "next\n",
      "next screens\n",
      "first screenhiddenx\n",
      "next screen\nfirst screen\n",  // "first" after "next"
      "M2_next screen\nM2_next screen\nM2_next screen\nM2_next screen\nM2_next screen\n",
      "M2_next\n",
      "template\n",
  };
  for (const char* text : texts) {
    test::tempDir dir;
    test::logCapture log;
    configFile config;
    EXPECT_FALSE(loadText(config, dir, text, &test::optionSpec())) << text;
    EXPECT_FALSE(test::exists(dir / "config.zvc")) << text;
    EXPECT_TRUE(test::exists(dir / "config.zvc.broken")) << text;
  }
}

// Capacities: the 43rd connection of a screen and the 101st template are dropped with an
// internal error, and the file still loads.
TEST(ConfigFileLoad, Capacities) {
  test::tempDir dir;
  test::logCapture log;
  std::string text;
  for (int i = 0; i < 43; ++i) text += "connection c" + std::to_string(i) + "\n";
  for (int i = 0; i < 101; ++i) text += "template t" + std::to_string(i) + "\n";
  configFile config;
  ASSERT_TRUE(loadText(config, dir, text, nullptr));
  EXPECT_EQ(config.screens(monitor::first)[0].connections.size(), 42u);
  EXPECT_EQ(config.screens(monitor::first)[0].connections.back().name, "c41");
  EXPECT_EQ(config.templateNames().size(), 100u);
  EXPECT_EQ(config.templateNames().back(), "t99");
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
}

// Names are 8-bit: each code unit keeps its low byte, and is written back widened.
TEST(ConfigFileLoad, NamesAreCutToBytes) {
  test::tempDir dir;
  configFile config;
  ASSERT_TRUE(loadText(config, dir, "template \xC3\xA9x\nconnection \xD0\x96\n", nullptr));
  EXPECT_EQ(config.templateNames(), std::vector<std::string>{"\xE9x"});
  EXPECT_EQ(config.screens(monitor::first)[0].connections[0].name, "\x16");
  EXPECT_EQ(config.textLines()[0], u"template \u00E9x\r\n");
}

// The text form in its fixed order, written as FF FE and UTF-16LE lines with CR LF; what
// it writes loads back into the same configuration and the same bytes.
TEST(ConfigFileSave, TextFormRoundTrip) {
  test::tempDir dir;
  configFile config;
  ASSERT_TRUE(loadText(config, dir,
                       "template office\n"
                       "video=vesa\n"
                       "first screen hidden\n"
                       "connection rdp1\n"
                       "server=host\n"
                       "name = \xD0\x96\xD0\xB5\xD0\xBD\xD1\x8F\n"
                       "timeout=5\n"
                       "template all\n"
                       "next screen\n"
                       "next screen hidden\n"
                       "connection\n"
                       "M2_next screen hidden\n"
                       "connection m2a\n"
                       "keyboard=de\n",
                       &test::optionSpec()));
  // general options, templates, then the screens in order, whatever order the file had
  const std::u16string expected =
      u"video=vesa\r\n"
      u"timeout=5\r\n"
      u"template office\r\n"
      u"template all\r\n"
      u"first screen hidden\r\n"
      u"connection rdp1\r\n"
      u"server=host\r\n"
      u"name=\u0416\u0435\u043D\u044F\r\n"
      u"next screen\r\n"
      u"connection \r\n"
      u"next screen hidden\r\n"
      u"connection \r\n"
      u"M2_next screen hidden\r\n"
      u"connection m2a\r\n"
      u"keyboard=de\r\n";
  const std::string path = dir / "saved.zvc";
  ASSERT_TRUE(config.saveConfig(path));
  const std::string bytes = test::readFile(path);
  EXPECT_EQ(bytes, "\xFF\xFE" + test::utf16le(expected));

  configFile again;
  again.clearParseFlags();
  ASSERT_TRUE(loadTextConfig(again, path, &test::optionSpec()));
  again.normalizeScreens();
  config.normalizeScreens();
  EXPECT_EQ(describe(again), describe(config));
  ASSERT_TRUE(again.saveConfig(dir / "again.zvc"));
  EXPECT_EQ(test::readFile(dir / "again.zvc"), bytes);
}

// A second screen without connections is written with an unnamed connection; a
// second-monitor screen without connections is written bare; without any first-monitor
// screen nothing is written.
TEST(ConfigFileSave, ScreensWithoutConnections) {
  test::tempDir dir;
  test::logCapture log;
  configFile config;
  ASSERT_TRUE(config.setScreen(1, configScreen{}, monitor::first));
  ASSERT_TRUE(config.setScreen(0, configScreen{}, monitor::second));
  ASSERT_TRUE(config.saveConfig(dir / "a.zvc"));
  EXPECT_EQ(test::readFile(dir / "a.zvc"),
            "\xFF\xFE" + test::utf16le(u"connection \r\nnext screen\r\nconnection \r\n"
                                       u"M2_next screen\r\n"));

  ASSERT_TRUE(config.removeScreen(1, monitor::first));
  ASSERT_TRUE(config.removeScreen(0, monitor::first));
  EXPECT_FALSE(config.saveConfig(dir / "b.zvc"));
  EXPECT_FALSE(test::exists(dir / "b.zvc"));
  EXPECT_TRUE(log.contains("INTERNAL ERROR"));
}

// The editing operations respect the capacities and indices, reporting what is refused.
TEST(ConfigFileEdit, ScreensAndScopes) {
  test::logCapture log;
  configFile config;
  EXPECT_FALSE(config.setScreen(4, configScreen{}, monitor::first));
  configScreen hidden;
  hidden.hidden = true;
  hidden.connections.push_back({"a", nullptr, optionList(ZV_SECTION_CONNECTION)});
  ASSERT_TRUE(config.setScreen(2, hidden, monitor::second));
  EXPECT_EQ(describe(config), "g{} t{} m1{S()} m2{S() S() H(a{})}");
  EXPECT_TRUE(config.addScreen(monitor::second));
  EXPECT_FALSE(config.addScreen(monitor::second));
  EXPECT_FALSE(config.removeScreen(4, monitor::second));

  optionList own(ZV_SECTION_CONNECTION);
  own.set("server", u"h");
  EXPECT_TRUE(config.setScopeOptions(own, 2, 0, monitor::second));
  EXPECT_FALSE(config.setScopeOptions(own, 2, 1, monitor::second));
  EXPECT_FALSE(config.setScopeOptions(own, 0, 0, monitor::first));  // no connection yet
  optionList general(ZV_SECTION_GENERAL);
  general.set("video", u"v");
  EXPECT_TRUE(config.setScopeOptions(general, -1, -1, monitor::first));
  EXPECT_EQ(describe(config), "g{video=v} t{} m1{S()} m2{S() S() H(a{server=h}) S({})}");
  EXPECT_TRUE(config.removeScopeOption("SERVER", 2, 0, monitor::second));
  EXPECT_TRUE(config.removeScopeOption("video", -1, -1, monitor::first));
  EXPECT_FALSE(config.removeScopeOption("video", 5, 0, monitor::first));
  config.normalizeScreens();
  EXPECT_EQ(describe(config), "g{} t{} m1{S({})} m2{S({}) S({}) H(a{}) S({})}");
}

// What counts as an empty screen and an empty configuration.
TEST(ConfigFileEdit, Emptiness) {
  test::logCapture log;
  configFile fresh;
  EXPECT_TRUE(fresh.isEmpty());
  EXPECT_TRUE(fresh.screenIsEmpty(0, monitor::first));
  EXPECT_FALSE(fresh.screenIsEmpty(1, monitor::first));  // out of range
  fresh.normalizeScreens();
  EXPECT_TRUE(fresh.isEmpty());

  auto with = [](auto change) {
    configFile config;
    config.normalizeScreens();
    change(config);
    return config.isEmpty();
  };
  EXPECT_FALSE(with([](configFile& c) { c.generalOptions().set("video", u"v"); }));
  EXPECT_FALSE(with([](configFile& c) { c.addTemplateName("office"); }));
  EXPECT_FALSE(with([](configFile& c) { c.addScreen(monitor::second); }));
  EXPECT_FALSE(with([](configFile& c) { c.addScreen(monitor::first); }));
  EXPECT_FALSE(with([](configFile& c) { c.connection(0, 0, monitor::first)->name = "rdp"; }));
  EXPECT_FALSE(
      with([](configFile& c) { c.connection(0, 0, monitor::first)->options.set("k1", u""); }));
  EXPECT_TRUE(with([](configFile& c) { c.removeScreen(0, monitor::first); }));
  EXPECT_TRUE(with([](configFile& c) {
    configScreen screen;
    screen.hidden = true;
    c.setScreen(0, screen, monitor::first);
  }));
}

}  // namespace
}  // namespace zv
