// The options editor on the console side, as the recording host drives it: open the
// window on a terminal's configuration like the demo's (a template, a dozen options of
// its own) against the bundled 6.2.63 specification, choose one value in the library's
// editor, close with Enter and answer the save question. The floor is the same window
// opened and closed without an edit, so the counter xFloor tells what the commit adds.
#include "common/versionSpec.h"
#include "htmlview/recordingHost.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "zvc/editor/optionsEditor.h"
#include "zvc/register/versions.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>

using namespace zv;

namespace {

struct fixture {
  fakeClock clock;
  eventLoop loop{clock};
  windowHost windows{loop};
  recordingHost browser{windows};
  installedVersions versions;
  std::unique_ptr<versionSpec> spec;
  configLibraries libraries;
  GUIConfigFile config{libraries};
  windowId main = 0;

  fixture() {
    windows.setStyleSheetSource([](const std::string& url) -> std::optional<std::string> {
      constexpr std::string_view prefix = "/skin/";
      if (!url.starts_with(prefix)) return std::nullopt;
      return readFileBytes(std::string(ZV_SKIN_SOURCE_DIR) + url.substr(prefix.size()));
    });
    spec = loadVersionSpec(std::filesystem::path(ZV_SPEC_6_2_63).parent_path().string() + "/");
    auto office = std::make_shared<GUITemplatesFile>("office", "/tmp/");
    office->set("keyboard_layout", u"us");
    office->set("timezone", u"Europe/Samara");
    libraries.insertTemplate(office);
    config.setTemplateNames({"office"});
    for (auto [k, v] : {std::pair{"video", u"1920x1080@60"},
                        {"bpp", u"24"},
                        {"locale", u"ru_RU.UTF-8"},
                        {"ntp_server", u"192.168.1.1"},
                        {"screensaver_timeout", u"15"},
                        {"sound_volume", u"60"},
                        {"log_level", u"warning"},
                        {"ssh", u"on"},
                        {"ssh_port", u"2222"},
                        {"web_interface", u"on"},
                        {"update_mode", u"auto"},
                        {"hostname_policy", u"dhcp"}})
      config.generalOptions().set(k, v);
    main = windows.openWindow({"Zelvar Center", 1200, 900, 0, false, {}, false}, "<body></body>");
    browser.attach();
    loop.pump();
  }

  // One opening; with `commit` a value is chosen and saved. True when the list changed.
  bool once(bool commit) {
    optionList list = config.generalOptions();
    optionsEditorTarget target;
    target.list = &list;
    target.config = &config;
    target.title = "00:1A:2B:3C:4D:5E";
    bool debug = list.get("log_level") != u"debug";
    browser.onWindow("Параметры", [&](windowId w) {
      if (commit)
        browser.choose(w, "#editValue",
                       debug ? "#editValue option[value=debug]" : "#editValue option[value=info]");
      loop.postTask([&, w] { browser.key(w, "#editValue", "Enter"); });
    });
    if (commit) browser.answerBox("Сохранить изменения?", boxAnswer::yes);
    bool result = showOptionsEditor(windows, main, versions, target, spec.get(), "log_level", {});
    browser.clearFrames();
    return result && list.size() > 0;
  }
};

fixture& shared() {
  static fixture f;
  return f;
}

double floorSeconds = 0;

void BM_openAndClose(benchmark::State& state) {
  fixture& f = shared();
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(f.once(false));
  floorSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                 double(state.iterations());
}
BENCHMARK(BM_openAndClose)->Unit(benchmark::kMillisecond);

void BM_openCommitAndSave(benchmark::State& state) {
  fixture& f = shared();
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    std::u16string before = f.config.generalOptions().get("log_level");
    benchmark::DoNotOptimize(f.once(true));
    if (f.config.generalOptions().get("log_level") == before) {
      state.SkipWithError("the value was not committed");
      break;
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                   double(state.iterations());
  if (floorSeconds > 0) state.counters["xFloor"] = seconds / floorSeconds;
}
BENCHMARK(BM_openCommitAndSave)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
