#include "zvc/register/terminalsListModel.h"

#include "common/installPaths.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zv {
namespace {

class TerminalsListModel : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().terminalsDir);
  }
  void TearDown() override { resetInstallationPaths(); }

  terminal& add(macAddress mac, std::string host = {}) {
    owned.push_back(std::make_unique<terminal>(mac, libraries));
    owned.back()->host = std::move(host);
    all.push_back(owned.back().get());
    return *owned.back();
  }
  static macAddress macOf(int n) {
    return macAddress{{0x00, 0x1A, 0x00, uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)}};
  }
  std::vector<std::string> order() {
    std::vector<std::string> out;
    for (const terminal* t : model.displayed())
      out.push_back(t->host.empty() ? t->mac.logText() : t->host);
    return out;
  }

  test::tempDir dir;
  configLibraries libraries;
  std::vector<std::unique_ptr<terminal>> owned;
  std::vector<terminal*> all;
  userSettings settings;
  terminalsListModel model{settings};
};

// Each filter against hidden, product, configured and pseudo-terminals.
TEST_F(TerminalsListModel, FiltersByTable) {
  terminal& plain = add(macOf(1), "plain");
  terminal& product = add(macOf(2), "product");
  product.runsProduct = true;
  terminal& configured = add(macOf(3), "configured");
  configured.runsProduct = true;
  std::string directory = paths().terminalsDir + configured.mac.directoryName() + "/";
  makeDirectories(directory);
  test::writeFile(directory + "config.zvc", "\xFF\xFE");
  terminal& hidden = add(macOf(4), "hidden");
  hidden.hidden = hidden.runsProduct = true;
  add(bootUsbMac);
  const struct {
    int filter;
    std::vector<std::string> listed;
  } cases[] = {
      {filterUnhidden, {"configured", "plain", "product", "BB:BB:BB:BB:BB:BB"}},
      {filterProduct, {"configured", "product", "BB:BB:BB:BB:BB:BB"}},
      {filterConfigured, {"configured", "BB:BB:BB:BB:BB:BB"}},
      {filterAll, {"configured", "hidden", "plain", "product", "BB:BB:BB:BB:BB:BB"}},
  };
  settings.sortColumn = sortByHost;
  for (const auto& c : cases) {
    settings.filterColumn = c.filter;
    model.rebuild(all);
    EXPECT_EQ(order(), c.listed) << c.filter;
  }
  // An unknown filter lists only the pseudo-terminals (an internal error for each other).
  settings.filterColumn = 4;
  model.rebuild(all);
  EXPECT_EQ(order(), (std::vector<std::string>{"BB:BB:BB:BB:BB:BB"}));
  (void)plain;
}

// The one-pass sort of MAC, IP and host keys gives the order of compare with the ties in
// arrival order, boot media and groups last, and offering one by one keeps that order.
TEST_F(TerminalsListModel, SortsMatchTheComparison) {
  std::mt19937 random(11);
  for (int i = 0; i < 400; ++i) {
    terminal& t = add(macOf(i * 37 % 400), "h" + std::to_string(random() % 40));
    t.ip = htonl(0x0A000000u + uint32_t(random() % 50));
  }
  for (const macAddress& m : {bootSdMac, bootCdMac, bootUsbMac}) add(m);
  add(groupMac(3));
  for (int column : {sortByMac, sortByIp, sortByHost}) {
    settings.sortColumn = column;
    model.rebuild(all);
    std::vector<terminal*> expected = all;
    std::stable_sort(expected.begin(), expected.end(),
                     [&](terminal* a, terminal* b) { return model.compare(*a, *b) < 0; });
    EXPECT_EQ(model.displayed(), expected) << column;
    EXPECT_EQ(model.displayed().end()[-4]->mac, bootUsbMac);
    EXPECT_TRUE(model.displayed().back()->mac.groupNumber() != 0);

    terminalsListModel oneByOne{settings};
    oneByOne.keepSorted();
    for (terminal* t : all) oneByOne.offer(*t);
    EXPECT_EQ(oneByOne.displayed(), expected) << column;
  }
}

// A changed terminal moves to its new place or leaves when the filter drops it; a MAC
// offered twice is refused.
TEST_F(TerminalsListModel, ReplaceAndWithdraw) {
  terminal& a = add(macOf(1), "a");
  terminal& b = add(macOf(2), "b");
  terminal& c = add(macOf(3), "c");
  settings.sortColumn = sortByHost;
  model.rebuild(all);
  model.keepSorted();
  a.host = "z";
  EXPECT_EQ(model.replace(a), 2);
  EXPECT_EQ(order(), (std::vector<std::string>{"b", "c", "z"}));
  b.hidden = true;
  EXPECT_EQ(model.replace(b), -1);
  EXPECT_FALSE(model.contains(b));
  EXPECT_EQ(model.withdraw(c), 0);
  EXPECT_EQ(model.withdraw(c), -1);
  EXPECT_EQ(order(), (std::vector<std::string>{"z"}));
  EXPECT_FALSE(model.offer(a));
  EXPECT_EQ(order(), (std::vector<std::string>{"z"}));
}

}  // namespace
}  // namespace zv
