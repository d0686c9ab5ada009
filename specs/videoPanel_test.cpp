#include "specs/specLibraries.h"

#include <gtest/gtest.h>

#include <array>

namespace zv::test {
namespace {

struct panelValues {
  std::u16string bpp;
  std::u16string video;
  std::u16string display;
  std::u16string m2display;
  std::u16string m2position;
  int type = 0;
  bool operator==(const panelValues&) const = default;
};

std::ostream& operator<<(std::ostream& out, const panelValues& v) {
  auto narrow = [](const std::u16string& s) { return std::string(s.begin(), s.end()); };
  return out << "{" << narrow(v.bpp) << "|" << narrow(v.video) << "|" << narrow(v.display) << "|"
             << narrow(v.m2display) << "|" << narrow(v.m2position) << "|" << v.type << "}";
}

const zvVideoOps& video() {
  return *library6263().video;
}

// Fills the panel as the console does and puts it into the page.
void fillPanel(testDocument& page, const panelValues& v) {
  outputBuffer out(ZV_RENDER_BUFFER_BYTES);
  ASSERT_EQ(video().fill(out.get(), textOf(v.bpp), textOf(v.video), textOf(v.display),
                         textOf(v.m2display), textOf(v.m2position), textOf(u""), v.type),
            1);
  ASSERT_TRUE(out.intact());
  page.load(u"<div class=\"tabs\"><div name=\"panel-video\">" + out.text() + u"</div></div>");
}

std::optional<panelValues> collect(testDocument& page, size_t bytes = ZV_VALUE_BUFFER_BYTES) {
  std::array<outputBuffer, 6> outputs{outputBuffer(bytes), outputBuffer(bytes),
                                      outputBuffer(bytes), outputBuffer(bytes),
                                      outputBuffer(bytes), outputBuffer(bytes)};
  zvOutput raw[6];
  for (size_t i = 0; i < 6; ++i) raw[i] = *outputs[i].get();
  int type = -1;
  if (!video().collect(raw, &type, page.host(), page.element("div#div_video_params")))
    return std::nullopt;
  for (const outputBuffer& out : outputs) EXPECT_TRUE(out.intact());
  EXPECT_EQ(outputs[5].text(), u"");
  return panelValues{outputs[0].text(), outputs[1].text(), outputs[2].text(),
                     outputs[3].text(), outputs[4].text(), type};
}

panelValues results(const testDocument& page) {
  std::optional<std::u16string> type = page.attribute("div#results div#type_result", "type");
  return panelValues{page.text("i#bpp_result"),
                     page.text("i#video_result"),
                     page.text("i#display_result"),
                     page.text("i#M2_display_result"),
                     page.text("i#M2_position_result"),
                     type ? std::stoi(std::string(type->begin(), type->end())) : -1};
}

int changed(testDocument& page, const char* control, std::u16string_view value) {
  page.setValue(control, value);
  zvEvent event{ZV_EVENT_VALUE_CHANGED, page.element(control)};
  return video().event(page.host(), &event);
}

// The result area shows the values exactly as given, so an untouched panel is unchanged.
TEST(VideoPanel, ResultsShowTheGivenValues) {
  testDocument page;
  panelValues given{u"24", u"1920X1080@60", u"1280x1024,75 Hz", u"", u"Left", 1};
  fillPanel(page, given);
  EXPECT_TRUE(page.has("div[name=panel-video] div#div_video_params"));
  for (const char* button :
       {"#VS_AskTerminal", "#save_video", "#restore_video", "#save2template_video"})
    EXPECT_TRUE(page.has(button)) << button;
  EXPECT_EQ(results(page), given);
}

// What the panel is filled with comes back from collect, in its plain form; the parts of
// the second monitor's line that the panel does not edit survive.
TEST(VideoPanel, FillThenCollectKeepsTheValues) {
  struct row {
    panelValues given;
    panelValues collected;
  };
  const row rows[] = {
      {{u"24", u"auto", u"", u"", u"right", 0}, {u"24", u"auto", u"", u"", u"right", 0}},
      {{u"16", u"1280x1024", u"1280x1024,75 Hz,noddc,HDMI-1", u"1680x1050,60 Hz,DP-1", u"left", 2},
       {u"16", u"1280x1024", u"1280x1024,75 Hz,noddc,HDMI-1", u"1680x1050,60 Hz,DP-1", u"left", 2}},
      {{u"32", u"1920X1080@75", u"", u"noddc,DP-2,\"108 1280 1328 1440 1688 1024 1025 1028 1066\"",
        u"ABOVE", 1},
       {u"32", u"1920x1080@75", u"", u"noddc,DP-2,\"108 1280 1328 1440 1688 1024 1025 1028 1066\"",
        u"above", 1}},
      {{u"8", u"1024x600@60", u"", u"auto,auto,auto", u"below", 2},
       {u"8", u"1024x600@60", u"", u"", u"below", 2}},
      // unreadable values fall back to what the panel can show
      {{u"24", u"garbage", u"", u"1,2,3", u"right", 0}, {u"24", u"auto", u"", u"", u"right", 0}},
  };
  for (const row& r : rows) {
    testDocument page;
    fillPanel(page, r.given);
    EXPECT_EQ(collect(page), r.collected) << r.given;
  }
}

// A change in a control updates the result area; collect agrees with it.
TEST(VideoPanel, EventsUpdateTheResults) {
  testDocument page;
  fillPanel(page, {u"24", u"auto", u"", u"", u"right", 2});
  EXPECT_EQ(changed(page, "#vp_resolution", u"1280x1024"), 1);
  EXPECT_EQ(page.text("i#video_result"), u"1280x1024");
  EXPECT_EQ(changed(page, "#vp_refresh", u"75"), 1);
  EXPECT_EQ(page.text("i#video_result"), u"1280x1024@75");
  EXPECT_EQ(changed(page, "#vp_bpp", u"16"), 1);
  EXPECT_EQ(changed(page, "#vp_m2_resolution", u"1920x1080"), 1);
  EXPECT_EQ(changed(page, "#vp_m2_connector", u"HDMI-2"), 1);
  EXPECT_EQ(page.text("i#M2_display_result"), u"1920x1080,HDMI-2");
  EXPECT_EQ(changed(page, "#vp_m2_position", u"left"), 1);
  EXPECT_EQ(changed(page, "#vp_m2_type", u"0"), 1);
  EXPECT_TRUE(page.state("#vp_m2_params") & ZV_STATE_DISABLED);
  EXPECT_EQ(*page.attribute("#type_result", "type"), u"0");
  EXPECT_EQ(changed(page, "#vp_m2_type", u"1"), 1);
  EXPECT_FALSE(page.state("#vp_m2_params") & ZV_STATE_DISABLED);
  panelValues shown = results(page);
  EXPECT_EQ(shown, (panelValues{u"16", u"1280x1024@75", u"", u"1920x1080,HDMI-2", u"left", 1}));
  EXPECT_EQ(collect(page), shown);
}

// Only the panel's own controls are handled.
TEST(VideoPanel, ForeignEventsAreNotHandled) {
  testDocument page;
  fillPanel(page, {u"24", u"auto", u"", u"", u"right", 0});
  zvEvent click{ZV_EVENT_CLICK, page.element("#save_video")};
  EXPECT_EQ(video().event(page.host(), &click), 0);
  zvEvent noTarget{ZV_EVENT_VALUE_CHANGED, nullptr};
  EXPECT_EQ(video().event(page.host(), &noTarget), 0);
  EXPECT_EQ(video().event(page.host(), nullptr), 0);
  zvEvent select{ZV_EVENT_CLICK, page.element("#vp_bpp")};
  EXPECT_EQ(video().event(page.host(), &select), 0);
}

// A wrong display line is marked and stops collect; so does a missing control or an
// output too small for a value.
TEST(VideoPanel, CollectRefusesWhatCannotBeSaved) {
  testDocument page;
  fillPanel(page, {u"24", u"1920x1080@60", u"", u"", u"right", 0});
  EXPECT_EQ(changed(page, "#vp_display", u"garbage,here"), 1);
  EXPECT_NE(page.attribute("#vp_display", "class")->find(u"errorValue"), std::u16string::npos);
  EXPECT_EQ(page.text("i#display_result"), u"garbage,here");
  EXPECT_EQ(collect(page), std::nullopt);
  EXPECT_EQ(changed(page, "#vp_display", u"1920x1080,60 Hz"), 1);
  EXPECT_EQ(page.attribute("#vp_display", "class")->find(u"errorValue"), std::u16string::npos);
  EXPECT_TRUE(collect(page));

  EXPECT_EQ(collect(page, 8), std::nullopt);  // "1920x1080@60" does not fit in 3 units

  page.remove("#vp_m2_connector");
  EXPECT_EQ(collect(page), std::nullopt);
}

// Reported modes replace the resolution lists; the refresh list follows the resolution.
TEST(VideoPanel, ShowModesFillsTheLists) {
  testDocument page;
  fillPanel(page, {u"24", u"1024x768@60", u"", u"", u"right", 2});
  const char* answer = "1280x1024@60, 1920x1080@60*;1280x1024@75\njunk,800x600,1280x1024@75.02";
  ASSERT_EQ(video().showModes(page.host(), page.element("div[name=panel-video]"), answer), 1);
  // The chosen 1024x768 was not reported but stays chosen.
  EXPECT_EQ(
      page.optionValues("#vp_resolution"),
      (std::vector<std::u16string>{u"1024x768", u"auto", u"1920x1080", u"1280x1024", u"800x600"}));
  EXPECT_EQ(page.value("#vp_resolution"), u"1024x768");
  EXPECT_EQ(page.optionValues("#vp_m2_resolution"),
            (std::vector<std::u16string>{u"auto", u"1920x1080", u"1280x1024", u"800x600"}));
  EXPECT_NE(page.text("#vp_modes_info").find(u"4"), std::u16string::npos);
  EXPECT_NE(page.text("#vp_modes_info").find(u"1920 × 1080, 60 Гц"), std::u16string::npos);
  EXPECT_EQ(collect(page)->video, u"1024x768@60");

  EXPECT_EQ(changed(page, "#vp_resolution", u"1280x1024"), 1);
  EXPECT_EQ(page.optionValues("#vp_refresh"), (std::vector<std::u16string>{u"auto", u"75", u"60"}));
  EXPECT_EQ(page.value("#vp_refresh"), u"60");
  EXPECT_EQ(changed(page, "#vp_refresh", u"75"), 1);
  EXPECT_EQ(changed(page, "#vp_resolution", u"1920x1080"), 1);
  // 75 Hz was not reported for 1920x1080: the rate falls back to automatic.
  EXPECT_EQ(page.optionValues("#vp_refresh"), (std::vector<std::u16string>{u"auto", u"60"}));
  EXPECT_EQ(page.text("i#video_result"), u"1920x1080");
}

// An answer without modes changes no list and says so.
TEST(VideoPanel, ShowModesWithoutModes) {
  testDocument page;
  fillPanel(page, {u"24", u"auto", u"", u"", u"right", 0});
  std::vector<std::u16string> before = page.optionValues("#vp_resolution");
  EXPECT_EQ(video().showModes(page.host(), page.element("div[name=panel-video]"), "no, modes"), 0);
  EXPECT_EQ(page.optionValues("#vp_resolution"), before);
  EXPECT_NE(page.text("#vp_modes_info").find(u"не сообщил"), std::u16string::npos);
  EXPECT_EQ(video().showModes(page.host(), page.element("div[name=panel-video]"), nullptr), 0);
  EXPECT_EQ(video().showModes(page.host(), nullptr, "1920x1080@60"), 0);
}

// The panel's HTML never overruns a small buffer.
TEST(VideoPanel, FillRespectsTheBuffer) {
  outputBuffer out(64);
  EXPECT_EQ(video().fill(out.get(), textOf(u"24"), textOf(u"auto"), textOf(u""), textOf(u""),
                         textOf(u"right"), textOf(u""), 0),
            0);
  EXPECT_TRUE(out.intact());
  EXPECT_EQ(out.written(), 31u);
}

}  // namespace
}  // namespace zv::test
