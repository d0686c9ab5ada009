#include "specs/specLibraries.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zv::test {
namespace {

bool contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

std::string upper(std::string text) {
  for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The exports each version offers; 6.1.10 has neither the video panel nor update images.
TEST(SpecExports, VersionsAndOptionalExports) {
  const specLibrary& current = library6263();
  ASSERT_NE(current.spec, nullptr);
  EXPECT_STREQ(current.spec->version, "6.2.63");
  ASSERT_NE(current.video, nullptr);
  EXPECT_TRUE(current.video->fill && current.video->collect && current.video->event &&
              current.video->showModes);
  EXPECT_NE(current.generateUpdateImages, nullptr);

  const specLibrary& older = library6110();
  ASSERT_NE(older.spec, nullptr);
  EXPECT_STREQ(older.spec->version, "6.1.10");
  EXPECT_EQ(older.video, nullptr);
  EXPECT_EQ(older.generateUpdateImages, nullptr);
}

struct version {
  const char* name;
  const specLibrary& (*library)();
};
void PrintTo(const version& v, std::ostream* out) {
  *out << v.name;
}
class SpecTable : public ::testing::TestWithParam<version> {};

// Every record is complete, its name usable as a key, its default valid and renderable.
TEST_P(SpecTable, RecordsAreCompleteAndDefaultsValid) {
  const zvSpec& spec = *GetParam().library().spec;
  std::set<std::string> names;
  for (uint32_t i = 0; i < spec.count(); ++i) {
    const zvOptionSpecRecord* record = spec.get(i);
    ASSERT_NE(record, nullptr) << i;
    ASSERT_NE(record->name, nullptr);
    std::string name = record->name;
    SCOPED_TRACE(name);
    EXPECT_GT(name.size(), 1u);
    EXPECT_LE(name.size(), 63u);
    for (char c : name) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    for (const char* reserved : {"connection", "template", "next", "first", "M2_next"})
      EXPECT_NE(upper(name), upper(reserved));
    EXPECT_TRUE(names.insert(upper(name)).second) << "duplicate key";

    ASSERT_NE(record->defaultValue, nullptr);
    ASSERT_NE(record->manual, nullptr);
    std::u16string manual = fromUnits(record->manual);
    EXPECT_TRUE(contains(manual, u"<p>")) << "manual without text";
    EXPECT_GT(manual.size(), 40u);

    ASSERT_NE(record->processor, nullptr);
    const zvOptionProcessor& processor = *record->processor;
    ASSERT_TRUE(processor.render && processor.read && processor.validate && processor.event);
    EXPECT_NE(record->sectionMask & (ZV_SECTION_GENERAL | ZV_SECTION_CONNECTION), 0u);
    EXPECT_EQ(
        record->sectionMask & ~(ZV_SECTION_GENERAL | ZV_SECTION_CONNECTION | ZV_SECTION_UNLISTED),
        0u);

    std::u16string defaultValue = fromUnits(record->defaultValue);
    EXPECT_TRUE(validates(*record, defaultValue));
    std::optional<std::u16string> html = render(*record, defaultValue);
    ASSERT_TRUE(html);
    EXPECT_TRUE(contains(*html, u"id=\"editValue\""));
  }
  EXPECT_EQ(spec.get(spec.count()), nullptr);
  EXPECT_EQ(spec.get(uint32_t(-1)), nullptr);
}

// find compares keys without regard to ASCII case and knows nothing else.
TEST_P(SpecTable, FindIsCaseBlind) {
  const zvSpec& spec = *GetParam().library().spec;
  for (uint32_t i = 0; i < spec.count(); ++i) {
    const zvOptionSpecRecord* record = spec.get(i);
    EXPECT_EQ(spec.find(record->name), record);
    EXPECT_EQ(spec.find(upper(record->name).c_str()), record) << record->name;
  }
  EXPECT_EQ(spec.find("no_such_option"), nullptr);
  EXPECT_EQ(spec.find(""), nullptr);
  EXPECT_EQ(spec.find(nullptr), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Versions, SpecTable,
                         ::testing::Values(version{"v6263", &library6263},
                                           version{"v6110", &library6110}),
                         [](const auto& info) { return std::string(info.param.name); });

// The current version: enough options, the screen options general, some options in both
// parts and some kept out of the editor's list.
TEST(SpecOptions, CurrentVersionCoversTheTerminal) {
  const zvSpec& spec = *library6263().spec;
  EXPECT_GE(spec.count(), 40u);
  for (const char* key : {"video", "bpp", "display", "M2_display", "M2_position", "resolution",
                          "refresh", "noddc", "connector", "modeline", "server"})
    EXPECT_EQ(record6263(key).sectionMask, ZV_SECTION_GENERAL) << key;
  for (const char* key : {"type", "address", "port", "displayName", "user", "domain"})
    EXPECT_EQ(record6263(key).sectionMask, ZV_SECTION_CONNECTION) << key;
  EXPECT_EQ(record6263("autostart_delay").sectionMask, ZV_SECTION_GENERAL | ZV_SECTION_CONNECTION);
  int unlisted = 0;
  int both = 0;
  for (uint32_t i = 0; i < spec.count(); ++i) {
    uint32_t mask = spec.get(i)->sectionMask;
    unlisted += (mask & ZV_SECTION_UNLISTED) != 0;
    both += (mask & 3u) == 3u;
  }
  EXPECT_GE(unlisted, 2);
  EXPECT_GE(both, 3);
}

// The same key may differ between versions: 6.1.10 knows fewer values and options.
TEST(SpecOptions, OlderVersionDiffers) {
  const zvSpec& older = *library6110().spec;
  EXPECT_GE(older.count(), 8u);
  EXPECT_LT(older.count(), 20u);
  EXPECT_EQ(older.find("M2_display"), nullptr);
  EXPECT_EQ(older.find("display"), nullptr);
  const zvOptionSpecRecord* bpp = older.find("bpp");
  ASSERT_NE(bpp, nullptr);
  EXPECT_FALSE(validates(*bpp, u"32"));
  EXPECT_TRUE(validates(record6263("bpp"), u"32"));
}

struct validationCase {
  const char* key;
  std::u16string value;
  bool valid;
};

// Validation per editor kind: lists, switches, ranges, addresses, host names, texts and
// the screen formats, with the values an administrator gets wrong.
TEST(SpecValidate, EachKindAcceptsOnlyItsForm) {
  const validationCase cases[] = {
      // lists (letter case does not matter)
      {"bpp", u"24", true},
      {"bpp", u"12", false},
      {"bpp", u"24 ", false},
      {"bpp", u"", false},
      {"keyboard_layout", u"US,RU", true},
      {"keyboard_layout", u"us;ru", false},
      {"M2_position", u"Left", true},
      {"M2_position", u"center", false},
      {"type", u"ica", true},
      {"type", u"telnet", false},
      // switches
      {"noddc", u"on", true},
      {"noddc", u"OFF", true},
      {"noddc", u"yes", false},
      {"noddc", u"1", false},
      {"noddc", u"", false},
      // whole numbers in a range, plain decimal only
      {"screensaver_timeout", u"0", true},
      {"screensaver_timeout", u"240", true},
      {"screensaver_timeout", u"241", false},
      {"screensaver_timeout", u"-1", false},
      {"screensaver_timeout", u"010", false},
      {"screensaver_timeout", u"1e2", false},
      {"screensaver_timeout", u"+5", false},
      {"screensaver_timeout", u"", false},
      {"screensaver_timeout", u"99999999999999999999", false},
      {"ssh_port", u"0", false},
      {"ssh_port", u"1", true},
      {"ssh_port", u"65535", true},
      {"ssh_port", u"65536", false},
      // IPv4 addresses
      {"server", u"10.0.0.1", true},
      {"server", u"", true},
      {"server", u"255.255.255.255", true},
      {"server", u"256.1.1.1", false},
      {"server", u"1.2.3", false},
      {"server", u"01.2.3.4", false},
      {"server", u"1.2.3.4.", false},
      {"server", u"1..3.4", false},
      {"server", u"a.b.c.d", false},
      // host names (RFC 1123) and addresses
      {"address", u"srv-01.example.local", true},
      {"address", u"10.0.0.3", true},
      {"address", u"3com.example", true},
      {"address", u"10.0.0.300", false},
      {"address", u"-srv.example", false},
      {"address", u"srv-.example", false},
      {"address", u"a..b", false},
      {"address", u"under_score", false},
      {"address", u"srv.example.", false},
      {"address", std::u16string(63, u'a') + u".example", true},
      {"address", std::u16string(64, u'a') + u".example", false},
      {"hostname", u"zv-01", true},
      {"hostname", u"zv.01", false},
      {"hostname", u"", true},
      // free text: at most its length, and nothing a configuration line would lose
      {"displayName", u"Бухгалтерия", true},
      {"displayName", std::u16string(63, u'я'), true},
      {"displayName", std::u16string(64, u'я'), false},
      {"displayName", u"a#b", false},
      {"displayName", u" leading", false},
      {"displayName", u"trailing ", false},
      {"displayName", u"ends\\", false},
      {"displayName", u"tab\tinside", false},
      {"displayName", u"inner  blanks = fine", true},
      {"vnc_password", u"12345678", true},
      {"vnc_password", u"123456789", false},
      {"vnc_password", u"пароль", false},
      {"reboot_time", u"03:30", true},
      {"reboot_time", u"23:59", true},
      {"reboot_time", u"24:00", false},
      {"reboot_time", u"3:30", false},
      {"url", u"https://portal.example.local/start?x=1", true},
      {"url", u"HTTP://portal:8080", true},
      {"url", u"ftp://portal", false},
      {"url", u"https://", false},
      {"url", u"https://portal:0/", false},
      {"url", u"http://portal/a b", false},
      {"setupPassword", std::u16string(64, u'f'), true},
      {"setupPassword", std::u16string(63, u'f'), false},
      {"setupPassword", std::u16string(64, u'g'), false},
      // screen formats
      {"video", u"auto", true},
      {"video", u"AUTO", true},
      {"video", u"1920x1080@60", true},
      {"video", u"1920X1080", true},
      {"video", u"1024x600@60", true},
      {"video", u"1920x1080@", false},
      {"video", u"1920x1080@300", false},
      {"video", u"1920x1080@60Hz", false},
      {"video", u"100x100", false},
      {"video", u"1920*1080", false},
      {"resolution", u"1280x1024", true},
      {"resolution", u"auto", true},
      {"resolution", u"1280x", false},
      {"refresh", u"75", true},
      {"refresh", u"23", false},
      {"connector", u"DisplayPort-0", true},
      {"connector", u"HDMI-", false},
      {"modeline", u"148.5 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync", true},
      {"modeline", u"148.5 1920 2008 2052 2200 1080 1084 1089 1125", true},
      {"modeline", u"148.5 1920 2008 2052 2200 1080 1084 1089", false},
      {"modeline", u"148.5 1920 1800 2052 2200 1080 1084 1089 1125", false},
      {"modeline", u"148.5 1920 2008 2052 2200 1080 1084 1089 1125 +fast", false},
      {"display", u"", true},
      {"display",
       u"1920x1080,60 Hz,noddc,HDMI-1,\"148.5 1920 2008 2052 2200 1080 1084 1089 1125 +hsync\"",
       true},
      {"display", u"auto,auto,auto", true},
      {"display", u"1280x1024,75 Hz", true},
      {"display", u"60 Hz,DP-2", true},
      {"display", u"noddc", true},
      {"display", u"HDMI-1", true},
      {"display", u"HDMI-1,1920x1080", false},
      {"display", u"1920x1080,,HDMI-1", false},
      {"display", u"1920x1080,60Hz", false},
      {"display", u"noddc,noddc", false},
      {"display", u"auto,auto,auto,auto", false},
      {"display", u"1920x1080,\"148.5 1920\"", false},
      {"display", u"1920x1080,\"148.5 1920 2008 2052 2200 1080 1084 1089 1125", false},
      {"M2_display", u"1680x1050,60 Hz,DP-1", true},
  };
  for (const validationCase& c : cases)
    EXPECT_EQ(validates(record6263(c.key), c.value), c.valid)
        << c.key << "=" << std::string(c.value.begin(), c.value.end());
}

// A text pointer without units is no value at all.
TEST(SpecValidate, NullTextWithLengthIsInvalid) {
  const zvOptionSpecRecord& record = record6263("displayName");
  EXPECT_FALSE(record.processor->validate(&record, zvText{nullptr, 3}));
  EXPECT_TRUE(record.processor->validate(&record, zvText{nullptr, 0}));
}

// Lists select the value (any letter case); a value not in the list stays shown.
TEST(SpecRender, ListsShowTheValue) {
  std::u16string bpp = *render(record6263("bpp"), u"24");
  EXPECT_TRUE(contains(bpp, u"<option value=\"24\" selected>"));
  EXPECT_FALSE(contains(bpp, u"value=\"16\" selected"));
  EXPECT_TRUE(
      contains(*render(record6263("M2_position"), u"LEFT"), u"<option value=\"left\" selected>"));
  std::u16string custom = *render(record6263("video"), u"1024x600@60");
  EXPECT_TRUE(contains(custom, u"value=\"1024x600@60\" class=\"unlisted\" selected"));
  EXPECT_TRUE(contains(custom, u"size=\"14\""));
  std::u16string broken = *render(record6263("bpp"), u"12");
  EXPECT_TRUE(contains(broken, u"12 (неверное значение)"));
}

// Read-only editors take no input; values are escaped.
TEST(SpecRender, ReadOnlyAndEscaping) {
  struct row {
    const char* key;
    const char16_t* value;
    const char16_t* mark;
  };
  const row rows[] = {{"bpp", u"24", u" disabled"},
                      {"noddc", u"on", u" disabled"},
                      {"screensaver_timeout", u"10", u" readonly"},
                      {"display", u"", u" readonly"}};
  for (const row& r : rows) {
    EXPECT_FALSE(contains(*render(record6263(r.key), r.value, false), r.mark)) << r.key;
    EXPECT_TRUE(contains(*render(record6263(r.key), r.value, true), r.mark)) << r.key;
  }
  std::u16string display = *render(record6263("display"), u"", true);
  EXPECT_TRUE(contains(display, u"id=\"copyDisplay\"") && contains(display, u"disabled>"));
  std::u16string escaped = *render(record6263("displayName"), u"a\"<b>&");
  EXPECT_TRUE(contains(escaped, u"value=\"a&quot;&lt;b&gt;&amp;\""));
  EXPECT_TRUE(contains(escaped, u"errorValue") == false);
}

// Output always ends in a terminator inside the buffer; a cut text reports failure.
TEST(SpecRender, SmallBuffersAreNeverOverrun) {
  const zvOptionSpecRecord& record = record6263("video");
  for (size_t bytes : {0u, 1u, 2u, 3u, 16u, 17u, 200u}) {
    outputBuffer out(bytes, &record);
    EXPECT_EQ(record.processor->render(&record, out.get(), textOf(u"auto"), 0), 0) << bytes;
    EXPECT_TRUE(out.intact()) << bytes;
    EXPECT_EQ(out.written(), bytes >= 2 ? bytes / 2 - 1 : 0u) << bytes;
  }
  outputBuffer exact(ZV_RENDER_BUFFER_BYTES, &record);
  ASSERT_EQ(record.processor->render(&record, exact.get(), textOf(u"auto"), 0), 1);
  EXPECT_TRUE(exact.intact());
  size_t needed = exact.written();
  outputBuffer fits((needed + 1) * 2, &record);
  EXPECT_EQ(record.processor->render(&record, fits.get(), textOf(u"auto"), 0), 1);
  EXPECT_TRUE(fits.intact());
  outputBuffer oneShort(needed * 2, &record);
  EXPECT_EQ(record.processor->render(&record, oneShort.get(), textOf(u"auto"), 0), 0);
  EXPECT_TRUE(oneShort.intact());
}

// Whatever an editor shows, reading it back gives the same value.
TEST_P(SpecTable, ReadGivesBackTheRenderedValue) {
  const zvSpec& spec = *GetParam().library().spec;
  for (uint32_t i = 0; i < spec.count(); ++i) {
    const zvOptionSpecRecord& record = *spec.get(i);
    std::u16string value = fromUnits(record.defaultValue);
    testDocument page;
    showEditor(page, record, value);
    EXPECT_EQ(readEditor(page, record), value) << record.name;
  }
}

// Reading follows the user's input in each kind of control.
TEST(SpecRead, FollowsTheControl) {
  struct row {
    const char* key;
    const char16_t* shown;
    const char16_t* typed;
    const char16_t* read;
  };
  const row rows[] = {
      {"bpp", u"24", u"16", u"16"},
      {"noddc", u"off", u"on", u"on"},
      {"noddc", u"on", u"", u"off"},
      {"screensaver_timeout", u"10", u"abc", u"abc"},
      {"displayName", u"", u"Касса 1", u"Касса 1"},
      {"video", u"auto", u"1280x1024@75", u"1280x1024@75"},
  };
  for (const row& r : rows) {
    testDocument page;
    showEditor(page, record6263(r.key), r.shown);
    page.setValue("#editValue", r.typed);
    EXPECT_EQ(readEditor(page, record6263(r.key)), std::u16string(r.read)) << r.key;
  }
}

// Reading fails cleanly without the control, with another interface version, and when
// the value does not fit.
TEST(SpecRead, FailsCleanly) {
  const zvOptionSpecRecord& record = record6263("displayName");
  testDocument page;
  showEditor(page, record, u"Длинное название соединения");
  page.remove("#editValue");
  EXPECT_EQ(readEditor(page, record), std::nullopt);

  showEditor(page, record, u"Длинное название соединения");
  zvHost other = *page.host();
  other.abiVersion = ZV_SPEC_ABI_VERSION + 1;
  outputBuffer out(ZV_VALUE_BUFFER_BYTES, &record);
  EXPECT_EQ(record.processor->read(&record, out.get(), &other, page.element("#option_editor")), 0);

  outputBuffer small(8, &record);
  EXPECT_EQ(
      record.processor->read(&record, small.get(), page.host(), page.element("#option_editor")), 0);
  EXPECT_TRUE(small.intact());
  EXPECT_EQ(small.text(), u"Дли");
}

// The display editors' button asks the options editor to compose that option.
TEST(SpecEvent, CopyButtonComposesTheDisplayOption) {
  for (const char* key : {"display", "M2_display"}) {
    testDocument page;
    showEditor(page, record6263(key), u"");
    EXPECT_EQ(sendEvent(page, record6263(key), ZV_EVENT_CLICK, "#copyDisplay"), 1);
    ASSERT_EQ(page.copyRequests.size(), 1u);
    EXPECT_EQ(page.copyRequests[0], key);
    page.copyAnswer = 0;
    EXPECT_EQ(sendEvent(page, record6263(key), ZV_EVENT_CLICK, "#copyDisplay"), 0);
  }
}

// Text fields mark a wrong value while the user types; other events are not handled.
TEST(SpecEvent, FieldsMarkWrongValues) {
  const zvOptionSpecRecord& record = record6263("ssh_port");
  testDocument page;
  showEditor(page, record, u"22");
  page.setValue("#editValue", u"70000");
  EXPECT_EQ(sendEvent(page, record, ZV_EVENT_VALUE_CHANGED, "#editValue"), 1);
  EXPECT_TRUE(contains(*page.attribute("#editValue", "class"), u"errorValue"));
  page.setValue("#editValue", u"2222");
  EXPECT_EQ(sendEvent(page, record, ZV_EVENT_VALUE_CHANGED, "#editValue"), 1);
  EXPECT_FALSE(contains(*page.attribute("#editValue", "class"), u"errorValue"));
  EXPECT_EQ(sendEvent(page, record, ZV_EVENT_CLICK, "#editValue"), 0);

  showEditor(page, record6263("bpp"), u"24");
  EXPECT_EQ(sendEvent(page, record6263("bpp"), ZV_EVENT_VALUE_CHANGED, "#editValue"), 0);
  showEditor(page, record6263("display"), u"");
  EXPECT_EQ(sendEvent(page, record6263("display"), ZV_EVENT_CLICK, "#resultValue"), 0);
  EXPECT_TRUE(page.copyRequests.empty());
}

}  // namespace
}  // namespace zv::test
