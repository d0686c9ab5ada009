#include "zvc/editor/specHost.h"

#include "common/versionSpec.h"
#include "platform/textConv.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zv {
namespace {

std::u16string fromUtf16Units(const uint16_t* units) {
  return fromZvString(units);
}

const versionSpec& bundled() {
  static std::unique_ptr<versionSpec> spec =
      loadVersionSpec(std::filesystem::path(ZV_SPEC_6_2_63).parent_path().string() + "/");
  return *spec;
}

// A page with an editor panel, the bundled library's editors rendered into it and read
// back through the host, as the options editor does.
class SpecHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(bundled().table, nullptr);
    doc.load(
        "<html><body><div id=\"option_editor\"></div><p id=\"note\" title=\"abcdef\">"
        "text</p></body></html>");
  }
  const zvOptionSpecRecord& record(const char* key) {
    const zvOptionSpecRecord* r = bundled().find(key);
    EXPECT_NE(r, nullptr) << key;
    return *r;
  }
  void show(const zvOptionSpecRecord& r, std::u16string_view value) {
    doc.byId("option_editor")->setInnerHtml(toUtf8(versionSpec::render(r, value, false)));
  }
  std::optional<std::u16string> read(const zvOptionSpecRecord& r) {
    specHost::call call(host);
    std::vector<uint16_t> block(ZV_VALUE_BUFFER_BYTES / 2, 0);
    std::size_t written = 0;
    zvOutput out{block.data(), ZV_VALUE_BUFFER_BYTES, &r, &written};
    if (!r.processor->read(&r, &out, host.table(), host.handle(doc.byId("option_editor").get())))
      return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(block.data()), written);
  }
  int event(const zvOptionSpecRecord& r, uint32_t kind, const char* target) {
    specHost::call call(host);
    zvEvent e{kind, host.handle(doc.selectFirst(target).get())};
    return r.processor->event(&r, host.table(), &e);
  }

  document doc;
  std::vector<std::string> copied;
  specHost host{doc, [this](const std::string& key) {
                  copied.push_back(key);
                  return true;
                }};
};

// The library's choice, switch and text editors read back what the user set in the
// engine's controls; the display editor's button asks the editor for the composition.
TEST_F(SpecHost, LibraryEditorsReadTheEnginesControls) {
  show(record("log_level"), u"error");
  EXPECT_EQ(read(record("log_level")), u"error");
  doc.byId("editValue")->setValue("debug");
  EXPECT_EQ(read(record("log_level")), u"debug");

  show(record("ssh"), u"off");
  EXPECT_EQ(read(record("ssh")), u"off");
  doc.byId("editValue")->setStates(stateChecked, 0);
  EXPECT_EQ(read(record("ssh")), u"on");

  show(record("ssh_port"), u"22");
  doc.byId("editValue")->setValue("2222");
  EXPECT_EQ(read(record("ssh_port")), u"2222");

  show(record("display"), u"");
  EXPECT_EQ(event(record("display"), ZV_EVENT_CLICK, "#copyDisplay"), 1);
  EXPECT_EQ(copied, std::vector<std::string>{"display"});
}

// Handles live for one call; a stale or made-up one names nothing. Texts are cut with
// their terminator and report their full length; states and inner HTML go to the engine.
TEST_F(SpecHost, HandlesTextsAndStates) {
  const zvHost* t = host.table();
  zvElement stale = nullptr;
  {
    specHost::call call(host);
    zvElement note = t->selectFirst(t->context, nullptr, "#note");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(t->selectFirst(t->context, nullptr, "#note"), note);  // the same handle again
    uint16_t buffer[4] = {9, 9, 9, 9};
    EXPECT_EQ(t->getAttribute(t->context, note, "title", buffer, 4), 6);
    EXPECT_EQ(fromUtf16Units(buffer), u"abc");
    EXPECT_EQ(t->getAttribute(t->context, note, "missing", buffer, 4), -1);
    EXPECT_EQ(t->getAttribute(t->context, reinterpret_cast<zvElement>(std::uintptr_t(999)), "title",
                              buffer, 4),
              -1);
    EXPECT_EQ(t->setState(t->context, note, ZV_STATE_DISABLED | ZV_STATE_CHECKED, 0), 1);
    EXPECT_TRUE(doc.byId("note")->hasState(stateDisabled | stateChecked));
    EXPECT_EQ(t->getState(t->context, note), ZV_STATE_DISABLED | ZV_STATE_CHECKED);

    std::u16string html = u"<b class=\"x\">1</b><b class=\"x\">2</b><b class=\"x\">3</b>";
    zvText text{reinterpret_cast<const uint16_t*>(html.data()), html.size()};
    EXPECT_EQ(t->setInnerHtml(t->context, note, text), 1);
    zvElement found[2] = {};
    EXPECT_EQ(t->selectAll(t->context, note, "b.x", found, 2), 3u);
    ASSERT_NE(found[1], nullptr);
    EXPECT_EQ(t->getText(t->context, found[1], buffer, 4), 1);
    EXPECT_EQ(fromUtf16Units(buffer), u"2");
    // An element taken out of the page is gone for the library too.
    doc.byId("note")->clear();
    EXPECT_EQ(t->getText(t->context, found[1], buffer, 4), -1);
    stale = note;
  }
  uint16_t buffer[8] = {};
  EXPECT_EQ(t->getAttribute(t->context, stale, "title", buffer, 8), -1);
  EXPECT_EQ(t->selectFirst(t->context, nullptr, "#note"), nullptr);  // outside any call
}

}  // namespace
}  // namespace zv
