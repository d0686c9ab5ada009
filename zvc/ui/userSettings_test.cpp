#include "zvc/ui/userSettings.h"

#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zv {
namespace {

class UserSettings : public ::testing::Test {
 protected:
  void put(std::string_view body) {
    test::writeFile(store.path(), "[Software\\Zelvar\\ZVCenter]\n" + std::string(body));
  }

  test::tempDir dir;
  test::logCapture log;
  registryStore store{dir / "hkcu.conf"};
  std::vector<screenRect> monitors{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
};

// Without the key: a 1200 × 950 window at the first monitor's corner, MAC and host
// shown, sorted by MAC, the filter 1.
TEST_F(UserSettings, DefaultsWithoutKey) {
  userSettings s = loadSettings(store);
  EXPECT_EQ(s.posX, cwUseDefault);
  EXPECT_EQ(s.terminalsWidth, 300u);
  EXPECT_TRUE(s.showMAC && s.showHost && s.serverTime);
  EXPECT_FALSE(s.showIP || s.showNote || s.showLastlogin || s.showOnline || s.showTime);
  EXPECT_EQ(s.sortColumn, 1);
  EXPECT_EQ(s.filterColumn, 1);
  EXPECT_EQ(mainWindowPlacement(s, monitors), (screenRect{0, 0, 1200, 950}));
}

// Small sizes are raised, out-of-range sort and filter values read as 1, values of
// another type and damaged lines read as missing.
TEST_F(UserSettings, ClampsAndDamage) {
  put("width = dword:800\nheight = dword:600\nsortColumn = dword:7\nfilterColumn = dword:4\n"
      "showMAC = sz:0\nshowIP = dword:0x10\nthis line is damaged\nposX = dword:0xFFFFFF9C\n");
  userSettings s = loadSettings(store);
  EXPECT_EQ(s.width, 1200);
  EXPECT_EQ(s.height, 950);
  EXPECT_EQ(s.sortColumn, 1);
  EXPECT_EQ(s.filterColumn, 1);
  EXPECT_TRUE(s.showMAC);   // a string is no DWORD: the default holds
  EXPECT_TRUE(s.showIP);    // any non-zero DWORD is "yes"
  EXPECT_EQ(s.posX, -100);  // left of the primary monitor

  put("sortColumn = dword:6\nfilterColumn = dword:5\nwidth = dword:1600\n");
  s = loadSettings(store);
  EXPECT_EQ(s.sortColumn, 6);
  EXPECT_EQ(s.filterColumn, 5);
  EXPECT_EQ(s.width, 1600);
}

// Saving writes the fifteen values in their fixed order, then the console's own
// "listwidth", and reads back the same.
TEST_F(UserSettings, SaveOrderAndRoundTrip) {
  userSettings s;
  s.terminalsWidth = 333;
  s.showIP = true;
  s.showHost = false;
  s.sortColumn = 2;
  s.filterColumn = 3;
  s.serverTime = false;
  s.columnWidth = 420;
  ASSERT_TRUE(saveSettings(store, s, {-200, 40, 1300, 1000}));
  EXPECT_EQ(store.valueNames(userSettingsKey),
            (std::vector<std::string>{"posX", "posY", "width", "terminalswidth", "height",
                                      "showMAC", "showHost", "showIP", "showNote", "showLastlogin",
                                      "showOnline", "showTime", "serverTime", "sortColumn",
                                      "filterColumn", "listwidth"}));
  userSettings back = loadSettings(store);
  EXPECT_EQ(back.window(), (screenRect{-200, 40, 1300, 1000}));
  EXPECT_EQ(back.terminalsWidth, 333u);
  EXPECT_TRUE(back.showIP);
  EXPECT_FALSE(back.showHost);
  EXPECT_FALSE(back.serverTime);
  EXPECT_EQ(back.sortColumn, 2);
  EXPECT_EQ(back.filterColumn, 3);
  EXPECT_EQ(back.columnWidth, 420u);
  // A width out of bounds (a hand-edited file) leaves the column sized by its content.
  for (uint32_t width : {0u, 20u, 159u, 1601u, 0xFFFFFFFFu}) {
    s.columnWidth = width;
    ASSERT_TRUE(saveSettings(store, s, {0, 0, 1300, 1000}));
    EXPECT_EQ(loadSettings(store).columnWidth, 0u) << width;
  }
}

// A window whose centre is on a monitor stays; one whose centre is on none goes to the
// top-left corner of the nearest monitor.
TEST_F(UserSettings, CentreOnNoMonitor) {
  screenRect onSecond{2000, 100, 800, 600};
  EXPECT_EQ(placeOnMonitors(onSecond, monitors), onSecond);
  screenRect straddling{1500, 100, 800, 600};  // centre at x 1900, on the first
  EXPECT_EQ(placeOnMonitors(straddling, monitors), straddling);
  EXPECT_EQ(placeOnMonitors({3000, 1100, 800, 600}, monitors), (screenRect{1920, 0, 800, 600}));
  EXPECT_EQ(placeOnMonitors({-5000, -5000, 800, 600}, monitors), (screenRect{0, 0, 800, 600}));
  EXPECT_EQ(placeOnMonitors({-5000, 0, 800, 600}, {}), (screenRect{-5000, 0, 800, 600}));
}

// Secondary windows keep four values under their name; all four are needed, and the
// placement rule applies on loading.
TEST_F(UserSettings, SecondaryWindowGeometry) {
  ASSERT_TRUE(saveWindowGeometry(store, "options", {100, 120, 640, 480}));
  EXPECT_EQ(
      store.valueNames(userSettingsKey),
      (std::vector<std::string>{"optionsposX", "optionsposY", "optionswidth", "optionsheight"}));
  EXPECT_EQ(loadWindowGeometry(store, "options", monitors), (screenRect{100, 120, 640, 480}));
  ASSERT_TRUE(saveWindowGeometry(store, "usb_wizard", {9000, 9000, 500, 400}));
  EXPECT_EQ(loadWindowGeometry(store, "usb_wizard", monitors), (screenRect{1920, 0, 500, 400}));

  store.deleteValue(userSettingsKey, "optionsheight");
  EXPECT_FALSE(loadWindowGeometry(store, "options", monitors));

  // Value names are at most 63 characters: 57 + "height" fits, 58 does not.
  EXPECT_TRUE(saveWindowGeometry(store, std::string(57, 'w'), {1, 2, 3, 4}));
  EXPECT_FALSE(saveWindowGeometry(store, std::string(58, 'w'), {1, 2, 3, 4}));
  EXPECT_FALSE(loadWindowGeometry(store, std::string(58, 'w'), monitors));
}

}  // namespace
}  // namespace zv
