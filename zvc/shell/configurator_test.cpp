#include "zvc/shell/configurator.h"

#include "common/installPaths.h"
#include "platform/registry.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

constexpr const char* zelvarKey = "Software\\Zelvar";

class InstallationPaths : public ::testing::Test {
 protected:
  void SetUp() override { resetInstallationPaths(); }
  void TearDown() override { resetInstallationPaths(); }
  test::tempDir dir;
  registryStore hklm{dir / "hklm.conf"};
};

// Every directory derives from the two roots; a missing trailing '/' is added.
TEST_F(InstallationPaths, DerivedFromRoots) {
  ASSERT_TRUE(hklm.set(zelvarKey, "Programs", regValue::string("/opt/zelvar")));
  ASSERT_TRUE(hklm.set(zelvarKey, "Data", regValue::string("/var/lib/zelvar/")));
  installationPaths p;
  ASSERT_TRUE(readInstallationPaths(hklm, p));
  EXPECT_EQ(p.programDir, "/opt/zelvar/");
  EXPECT_EQ(p.binDir, "/opt/zelvar/Bin/");
  EXPECT_EQ(p.skinDir, "/opt/zelvar/Bin/skin/");
  EXPECT_EQ(p.docsDir, "/opt/zelvar/Docs/");
  EXPECT_EQ(p.tftpRoot, "/opt/zelvar/TFTPDROOT/");
  EXPECT_EQ(p.connectionsDir, "/var/lib/zelvar/Connections/");
  EXPECT_EQ(p.everyoneDir, "/var/lib/zelvar/Everyone/");
  EXPECT_EQ(p.logsDir, "/var/lib/zelvar/Logs/");
  EXPECT_EQ(p.templatesDir, "/var/lib/zelvar/Templates/");
  EXPECT_EQ(p.terminalsDir, "/var/lib/zelvar/Terminals/");
  EXPECT_EQ(p.keysDir, "/var/lib/zelvar/Keys/");
  EXPECT_EQ(p.dhcpDir, "/var/lib/zelvar/DHCP/");
  EXPECT_EQ(p.graphicDir, "/var/lib/zelvar/Graphic/");
  EXPECT_EQ(p.updateImagesDir, "/var/lib/zelvar/UpdateImages/");
}

// The default value stands in for Programs; Data is required; wrong types fail.
TEST_F(InstallationPaths, RootRules) {
  installationPaths p;
  EXPECT_FALSE(readInstallationPaths(hklm, p));  // no key at all
  ASSERT_TRUE(hklm.set(zelvarKey, "@", regValue::string("/opt/default")));
  EXPECT_FALSE(readInstallationPaths(hklm, p));  // no Data
  ASSERT_TRUE(hklm.set(zelvarKey, "Data", regValue::dword(1)));
  EXPECT_FALSE(readInstallationPaths(hklm, p));  // Data of the wrong type
  ASSERT_TRUE(hklm.set(zelvarKey, "Data", regValue::string("/d")));
  ASSERT_TRUE(readInstallationPaths(hklm, p));
  EXPECT_EQ(p.programDir, "/opt/default/");
  ASSERT_TRUE(hklm.set(zelvarKey, "Programs", regValue::string("/opt/p")));
  ASSERT_TRUE(readInstallationPaths(hklm, p));
  EXPECT_EQ(p.programDir, "/opt/p/");
  ASSERT_EQ(hklm.deleteValue(zelvarKey, "@"), regStatus::ok);
  ASSERT_EQ(hklm.deleteValue(zelvarKey, "Programs"), regStatus::ok);
  EXPECT_FALSE(readInstallationPaths(hklm, p));
}

class RunConfigurator : public ::testing::Test {
 protected:
  void SetUp() override { resetInstallationPaths(); }
  void TearDown() override { resetInstallationPaths(); }
  // Start-up resolves from the process-wide store, pointed here at the test's file.
  void install(bool withData) {
    registryStore& hklm = registryStore::localMachine();
    hklm.setPath(dir / "hklm.conf");
    hklm.deleteKey(zelvarKey);
    hklm.set(zelvarKey, "Programs", regValue::string(dir / "prog"));
    if (withData) hklm.set(zelvarKey, "Data", regValue::string(dir / "data"));
  }
  test::tempDir dir;
  std::vector<std::string> order;
  std::function<void()> note(std::string name) {
    return [this, name] { order.push_back(name); };
  }
};

// Steps run in the fixed start-up order and the loop's code is the exit code.
TEST_F(RunConfigurator, StepsRunInOrder) {
  install(true);
  startupSteps steps;
  steps.scanInterfaces = note("interfaces");
  steps.claimInstance = [this] {
    order.push_back("instance");
    return true;
  };
  steps.readWindowSettings = note("settings");
  steps.scanVersions = note("versions");
  steps.loadTerminals = note("terminals");
  steps.createMainWindow = [this] {
    order.push_back("window");
    return true;
  };
  steps.runMessageLoop = [this] {
    order.push_back("loop");
    return 7;
  };
  steps.closeInstance = note("close");
  EXPECT_EQ(runConfigurator(steps), 7);
  EXPECT_EQ(order, (std::vector<std::string>{"interfaces", "instance", "settings", "versions",
                                             "terminals", "window", "loop", "close"}));
  // A second resolution does not read the registry again.
  registryStore::localMachine().deleteKey(zelvarKey);
  EXPECT_TRUE(resolveInstallationPaths());
  EXPECT_EQ(paths().dataDir, dir / "data/");
}

// A broken installation stops before anything else with exit code 1.
TEST_F(RunConfigurator, BrokenInstallationExitsOne) {
  install(false);
  startupSteps steps;
  steps.scanInterfaces = note("interfaces");
  testing::internal::CaptureStderr();
  EXPECT_EQ(runConfigurator(steps), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Критическая ошибка: Zelvar установлена некорректно.\n");
  EXPECT_TRUE(order.empty());
}

// A console that does not get the instance leaves with 0 before loading terminals;
// window failures give 2 and 3.
TEST_F(RunConfigurator, FailureExitCodes) {
  install(true);
  startupSteps steps;
  steps.claimInstance = [] { return false; };
  steps.loadTerminals = note("terminals");
  EXPECT_EQ(runConfigurator(steps), 0);
  EXPECT_TRUE(order.empty());

  struct row {
    int failing;
    int code;
    const char* message;
  };
  for (row r : {row{0, 2, "LoggingRegisterClass failed."}, row{1, 2, "MyRegisterClass failed."},
                row{2, 3, "InitInstance failed."}}) {
    startupSteps s;
    s.registerLogViewClass = [&] { return r.failing != 0; };
    s.registerMainWindowClass = [&] { return r.failing != 1; };
    s.createMainWindow = [&] { return r.failing != 2; };
    s.runMessageLoop = [] { return 9; };
    testing::internal::CaptureStderr();
    EXPECT_EQ(runConfigurator(s), r.code);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(r.message), std::string::npos);
    EXPECT_NE(test::readFile(dir / "data/Logs/zvc.log").find(r.message), std::string::npos);
  }
}

}  // namespace
}  // namespace zv
