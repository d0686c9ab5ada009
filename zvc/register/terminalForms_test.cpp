#include "zvc/register/terminalForms.h"

#include "common/fstream.h"
#include "common/installPaths.h"
#include "platform/files.h"
#include "platform/textConv.h"
#include "testsupport/testSupport.h"
#include "zvc/register/versions.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

uint32_t address(const char* text) {
  uint32_t a = 0;
  parseIpv4(text, a);
  return a;
}

macAddress mac(const char* text) {
  return *parseMac(std::string_view(text), ':');
}

// An installation with two versions (6.2.63 with a specification, 6.1.10 without) and
// a register of three terminals.
class TerminalForms : public ::testing::Test {
 protected:
  void SetUp() override {
    setInstallationPaths(derivePaths(dir / "prog", dir / "data"));
    makeDirectories(paths().terminalsDir);
    makeDirectories(paths().binDir + "6.2.63");
    makeDirectories(paths().binDir + "6.1.10");
    versions.loadSpecifications(paths());
    add("00:1A:2B:3C:4D:01", "10.0.0.1", "Reception", u"Касса");
    add("00:1A:2B:3C:4D:02", "10.0.0.2", "", u"Склад");
    add("00:1A:2B:3C:4D:03", "10.0.0.2", "office", u"склад");
  }
  void TearDown() override { resetInstallationPaths(); }

  void add(const char* macText, const char* ip, const char* host, std::u16string comment) {
    auto t = std::make_unique<terminal>(mac(macText), libraries);
    t->ip = address(ip);
    t->host = host;
    t->comment = std::move(comment);
    terminals.addTerminal(std::move(t));
  }

  // Records every box and answers from `answer`.
  formBox recorder() {
    return [this](const std::string& text, const std::string& caption, boxButtons buttons) {
      boxes.push_back(caption + "|" + text);
      return buttons == boxButtons::yesNo ? answer : boxAnswer::ok;
    };
  }

  test::tempDir dir;
  configLibraries libraries;
  terminalRegister terminals{libraries};
  installedVersions versions{[](const std::string& directory) -> std::unique_ptr<versionSpec> {
                               if (directory.find("6.1.10") != std::string::npos) return nullptr;
                               auto spec = std::make_unique<versionSpec>();
                               spec->name = "6.2.63";
                               return spec;
                             },
                             [](const std::string&, const std::string&) {}};
  std::vector<std::string> boxes;
  boxAnswer answer = boxAnswer::yes;
};

// Every error line of the form, alone and together, and what a good form gives.
TEST_F(TerminalForms, ReadFormMessages) {
  struct row {
    terminalFormText form;
    const char* errors;
  };
  const row rows[] = {
      {{u"00:1A:2B:3C:4D", u"", u"", u""}, "Неверный формат поля MAC.\n"},
      {{u"00:1A:2B:3C:4D:5E:", u"", u"", u""}, "Неверный формат поля MAC.\n"},
      {{u"00.1A.2B.3C.4D.5E", u"", u"", u""}, "Неверный формат поля MAC.\n"},
      {{u"ff:ff:ff:ff:ff:ff", u"", u"", u""},
       "Указан неверный MAC - 00:00:00:00:00:00, ff:ff:ff:ff:ff:ff, 44:44:44:44:44:44.\n"},
      {{u"44:44:44:44:44:44", u"", u"", u""},
       "Указан неверный MAC - 00:00:00:00:00:00, ff:ff:ff:ff:ff:ff, 44:44:44:44:44:44.\n"},
      {{u"", u"10.0.0", u"", u""}, "Неверный формат поля IP.\n"},
      {{u"", u"10.0.0.256", u"", u""}, "Неверный формат поля IP.\n"},
      {{u"", u"0.0.0.0", u"", u""}, "Указан неверный IP - 0, 0xffffffff.\n"},
      {{u"", u"255.255.255.255", u"", u""}, "Указан неверный IP - 0, 0xffffffff.\n"},
      {{u"", u"", u"", u""}, "Не указаны параметры.\n"},
      {{u"00:00:00:00:00:00", u"1.2.3", u"h", u""},
       "Указан неверный MAC - 00:00:00:00:00:00, ff:ff:ff:ff:ff:ff, 44:44:44:44:44:44.\n"
       "Неверный формат поля IP.\n"},
      // Text that would break the one-line files (only zvctl can send it).
      {{u"", u"", u"a\nb", u""}, "Неверный формат поля Host.\n"},
      {{u"", u"", u"хост", u""}, "Неверный формат поля Host.\n"},
      {{u"", u"", u"", u"line\r\nbreak"}, "Неверный формат поля Comment.\n"},
  };
  for (const row& r : rows) {
    formEntry entry;
    EXPECT_EQ(formErrors(r.form, entry), r.errors) << toUtf8(r.form.mac) << toUtf8(r.form.ip);
  }

  formEntry entry;
  std::u16string longComment(70, u'я');
  EXPECT_EQ(formErrors({u"00:1a:2b:3c:4d:5e", u"10.0.0.9", u"Host-1", longComment}, entry), "");
  EXPECT_EQ(entry.identity.mac, mac("00:1A:2B:3C:4D:5E"));
  EXPECT_EQ(entry.identity.ip, address("10.0.0.9"));
  EXPECT_EQ(entry.identity.host, "Host-1");
  EXPECT_EQ(entry.comment, std::u16string(63, u'я'));  // what the record holds

  // readForm shows all the lines in one error box.
  EXPECT_FALSE(readForm({u"1", u"2", u"", u""}, recorder()));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Ошибка|Неверный формат поля MAC.\nНеверный формат поля IP.\n");
}

// The prefilled form leaves out what is not usable.
TEST_F(TerminalForms, Prefill) {
  terminal* t = terminals.all()[0];
  terminalFormText form = prefilledForm(t);
  EXPECT_EQ(form.mac, u"00:1A:2B:3C:4D:01");
  EXPECT_EQ(form.ip, u"10.0.0.1");
  EXPECT_EQ(form.host, u"Reception");
  EXPECT_EQ(form.comment, u"");
  t->ip = 0xFFFFFFFFu;
  EXPECT_EQ(prefilledForm(t).ip, u"");
  EXPECT_EQ(prefilledForm(nullptr).mac, u"");
}

// Finding decides per terminal by the first rule that applies, the first match in
// register order winning.
TEST_F(TerminalForms, FindRules) {
  auto find = [&](terminalFormText form) -> std::string {
    boxes.clear();
    terminal* t = findFromForm(terminals, form, recorder());
    return t ? t->mac.logText() : boxes.empty() ? "" : boxes.back();
  };
  EXPECT_EQ(find({u"00:1a:2b:3c:4d:03", u"", u"", u""}), "00:1A:2B:3C:4D:03");
  // A shared address: the first in register order.
  EXPECT_EQ(find({u"", u"10.0.0.2", u"", u""}), "00:1A:2B:3C:4D:02");
  // A valid MAC decides alone: another terminal's address does not make a match.
  EXPECT_EQ(find({u"00:1A:2B:3C:4D:09", u"10.0.0.1", u"", u""}),
            "Внимание|Терминал с заданными параметрами не найден");
  EXPECT_EQ(find({u"", u"", u"RECEPTION", u""}), "00:1A:2B:3C:4D:01");
  // Comments compare without ASCII case only: "Склад" and "склад" differ.
  EXPECT_EQ(find({u"", u"", u"", u"склад"}), "00:1A:2B:3C:4D:03");
  // Hosts decide before comments wherever both have hosts.
  EXPECT_EQ(find({u"", u"", u"office", u"Касса"}), "00:1A:2B:3C:4D:03");
  EXPECT_EQ(find({u"", u"", u"", u""}), "Ошибка|Не указаны параметры.\n");
}

// Adding refuses a missing MAC, any conflict, a version without specification; asks,
// and on Yes writes the terminal and registers it.
TEST_F(TerminalForms, AddChecksAndConfirms) {
  auto addForm = [&](terminalFormText form, std::u16string_view version = u"6.2.63") {
    boxes.clear();
    return addFromForm(terminals, versions, form, version, recorder()).added;
  };
  EXPECT_FALSE(addForm({u"", u"10.0.0.50", u"", u""}));
  EXPECT_EQ(boxes.back(), "Ошибка|Не указано или некорректно указано поле MAC");
  for (terminalFormText conflict : {terminalFormText{u"00:1A:2B:3C:4D:02", u"", u"", u""},
                                    terminalFormText{u"00:1A:2B:3C:4D:10", u"10.0.0.1", u"", u""},
                                    terminalFormText{u"00:1A:2B:3C:4D:10", u"", u"OFFICE", u""}}) {
    EXPECT_FALSE(addForm(conflict));
    EXPECT_EQ(boxes.back(),
              "Ошибка|В списке уже есть терминал, параметры которого совпадают хотя бы с одним "
              "из указанных параметров");
  }
  // The current terminal's own fields, unchanged, are a conflict.
  EXPECT_FALSE(addForm(prefilledForm(terminals.all()[0])));
  EXPECT_EQ(boxes.size(), 1u);

  terminalFormText form{u"00:1a:2b:3c:4d:10", u"10.0.0.10", u"new-host", u"Бухгалтерия"};
  EXPECT_FALSE(addForm(form, u"6.1.10"));
  EXPECT_EQ(boxes.back(),
            "Внимание|Для версии Zelvar 6.1.10 dll не найдена. Выберите, пожалуйста, другую "
            "версию.");

  answer = boxAnswer::no;
  EXPECT_EQ(addFromForm(terminals, versions, form, u"6.2.63", recorder()).outcome,
            addOutcome::declined);
  EXPECT_EQ(boxes.back(),
            "Внимание|Создать терминал с параметрами:\n MAC: 00:1A:2B:3C:4D:10\n IP: 10.0.0.10\n"
            " Host: new-host\n Version: 6.2.63\n Comment: Бухгалтерия\n?");
  EXPECT_FALSE(isDirectory(paths().terminalsDir + "00.1A.2B.3C.4D.10"));
  EXPECT_EQ(terminals.size(), 3u);

  answer = boxAnswer::yes;
  std::vector<std::string> listed;
  addResult result = addFromForm(terminals, versions, form, u"6.2.63", recorder(),
                                 [&](terminal& added) { listed.push_back(added.mac.logText()); });
  EXPECT_EQ(result.outcome, addOutcome::added);
  terminal* t = result.added;
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(listed, std::vector<std::string>{"00:1A:2B:3C:4D:10"});
  EXPECT_EQ(terminals.findByMac(mac("00:1A:2B:3C:4D:10")), t);
  EXPECT_EQ(t->spec, versions.defaultSpec());
  std::string d = paths().terminalsDir + "00.1A.2B.3C.4D.10/";
  EXPECT_EQ(test::readFile(d + "ip"), "10.0.0.10");
  EXPECT_EQ(test::readFile(d + "host"), "new-host");
  EXPECT_EQ(test::readFile(d + "version"), "6.2.63");
  EXPECT_EQ(test::readFile(d + "comment"), "\xFF\xFE" + test::utf16le(u"Бухгалтерия"));
  EXPECT_FALSE(test::exists(d + "online"));

  // "Без версии" adds a terminal without a version.
  terminal* bare = addForm({u"00:1A:2B:3C:4D:11", u"", u"", u""}, u"Без версии");
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->spec, nullptr);
  EXPECT_EQ(bare->version, "");
  EXPECT_TRUE(isDirectory(paths().terminalsDir + "00.1A.2B.3C.4D.11"));
  EXPECT_EQ(boxes.back(),
            "Внимание|Создать терминал с параметрами:\n MAC: 00:1A:2B:3C:4D:11\n IP: \n Host: \n"
            " Version: \n Comment: \n?");
}

// ARP completes the address of a valid MAC, or the MAC of an address when no MAC is
// given; ambiguous, unresolved and missing entries change nothing.
TEST_F(TerminalForms, ArpCompletion) {
  test::logCapture log;  // after the installation paths, which point the log elsewhere
  auto entry = [](const char* ip, std::array<uint8_t, 6> mac, uint32_t flags = 2) {
    arpEntry e;
    e.ip = address(ip);
    e.mac = mac;
    e.flags = flags;
    return e;
  };
  std::vector<arpEntry> table = {
      entry("10.0.0.30", {0, 0x1A, 0x2B, 0x3C, 0x4D, 0x30}),
      entry("10.0.0.31", {0, 0x1A, 0x2B, 0x3C, 0x4D, 0x31}, 0),
      entry("10.0.0.32", {0, 0x1A, 0x2B, 0x3C, 0x4D, 0x32}),
      entry("10.0.0.33", {0, 0x1A, 0x2B, 0x3C, 0x4D, 0x32}),
      entry("10.0.0.34", {0, 0, 0, 0, 0, 0}),
      entry("10.0.0.34", {0, 0x1A, 0x2B, 0x3C, 0x4D, 0x34}),
  };
  arpSource source = [&] { return std::optional(table); };

  terminalFormText form{u"00:1a:2b:3c:4d:30", u"1.1.1.1", u"", u""};
  EXPECT_TRUE(completeFromArp(form, source, recorder()));
  EXPECT_EQ(form.ip, u"10.0.0.30");
  EXPECT_TRUE(log.contains("Search in ARP table for MAC 00:1A:2B:3C:4D:30"));
  EXPECT_TRUE(log.contains("Found in ARP table for IP 10.0.0.30"));

  for (const char16_t* unknown :
       {u"00:1A:2B:3C:4D:31", u"00:1A:2B:3C:4D:32", u"00:1A:2B:3C:4D:99"}) {
    terminalFormText f{unknown, u"", u"", u""};
    EXPECT_FALSE(completeFromArp(f, source, recorder()));
    EXPECT_EQ(f.ip, u"");
  }

  terminalFormText byIp{u"", u"10.0.0.34", u"", u""};
  EXPECT_TRUE(completeFromArp(byIp, source, recorder()));
  EXPECT_EQ(byIp.mac, u"00:1A:2B:3C:4D:34");

  EXPECT_TRUE(boxes.empty());
  terminalFormText broken{u"00:1A", u"10.0.0.34", u"", u""};
  EXPECT_FALSE(completeFromArp(broken, source, recorder()));
  EXPECT_EQ(broken.mac, u"00:1A");
  EXPECT_EQ(boxes.size(), 1u);

  terminalFormText unreadable{u"00:1A:2B:3C:4D:30", u"", u"", u""};
  EXPECT_FALSE(completeFromArp(
      unreadable, [] { return std::optional<std::vector<arpEntry>>(); }, recorder()));
  EXPECT_EQ(unreadable.ip, u"");
}

}  // namespace
}  // namespace zv
