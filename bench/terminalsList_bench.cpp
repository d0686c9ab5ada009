// The terminals list at 50,000 terminals: rebuilding the rows, changing the sort,
// changing the filter, and one terminal's update, each with the batch the browser gets.
// Floors measured in the same run put them in proportion: a stable sort of the same
// terminals by host, and the row markup alone (no engine).
//
// Targets: one row's update under 1 ms and under 2 KB on the wire; a sort or filter
// change at most 15 times the floor sort (the counter xFloor, measured in the same
// run). The fixture reports the resident memory the register and the list add, per
// terminal (rssPerTerminalKB).
#include "common/configLibrary.h"
#include "common/installPaths.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"
#include "zvc/register/terminalsList.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <nlohmann/json.hpp>

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace zv;

namespace {

constexpr int terminalCount = 50000;

constexpr const char* frameHtml =
    "<html><body><button id=menu_terminals><menu class=checkmenu></menu></button>"
    "<widget id=terminals_widget type=select></widget><div id=main_tabs class=tabs></div>"
    "</body></html>";

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One installation, register, document and list for every benchmark of the run.
struct fixture {
  double rssBefore = test::residentBytes();
  double rssPerTerminal = 0;
  double floorSeconds = 0;  // a stable sort of the terminals by host
  test::tempDir dir;
  configLibraries libraries;
  terminalRegister terminals{libraries};
  document doc;
  userSettings settings;
  std::unique_ptr<terminalsList> list;

  fixture() {
    installationPaths p = derivePaths(dir / "prog", dir / "data");
    setInstallationPaths(p);
    makeDirectories(p.terminalsDir);
    doc.load(frameHtml);
    settings.showIP = settings.showNote = true;
    list = std::make_unique<terminalsList>(doc, terminals, settings);
    terminals.offerToList = [this](terminal& t) { list->offerTerminal(t); };
    std::mt19937 random(7);
    for (int i = 0; i < terminalCount; ++i) {
      macAddress mac{{0x00, 0x1A, uint8_t(i >> 24), uint8_t(i >> 16), uint8_t(i >> 8), uint8_t(i)}};
      auto t = std::make_unique<terminal>(mac, libraries);
      t->host = "ws-" + std::to_string(random() % 1000000);
      t->ip = htonl(0x0A000000u + uint32_t(random() % 0xFFFFFF));
      t->version = "6.2.63";
      t->platform = 1;
      t->runsProduct = i % 3 != 0;
      t->comment = u"Кабинет " + std::u16string(1, char16_t(u'0' + i % 10));
      std::string directory = p.terminalsDir + mac.directoryName() + "/";
      ::mkdir(directory.c_str(), 0755);
      if (i % 2 == 0) {
        std::FILE* f = std::fopen((directory + "config.zvc").c_str(), "wb");
        if (f) std::fclose(f);
      }
      terminals.addTerminal(std::move(t));
    }
    for (const macAddress& m : {bootCdMac, bootUsbMac, bootSdMac})
      terminals.addTerminal(std::make_unique<terminal>(m, libraries));
    list->rebuildRows();
    doc.takeBatch();
    rssPerTerminal = (test::residentBytes() - rssBefore) / terminalCount;
    // The floor: the best of five stable sorts of the same terminals by host.
    std::vector<terminal*> all = terminals.all();
    floorSeconds = 1e9;
    for (int i = 0; i < 5; ++i) {
      auto start = std::chrono::steady_clock::now();
      std::stable_sort(all.begin(), all.end(), [&](const terminal* a, const terminal* b) {
        return i % 2 ? a->host < b->host : b->host < a->host;
      });
      floorSeconds = std::min(floorSeconds, secondsSince(start));
    }
  }
};

// The administrator picks a sort option or a filter in the menu and closes it.
void chooseSort(fixture& f, const char* optionId) {
  f.list->rebuildMenu();
  elementRef select = f.doc.byId("sort_terminals");
  for (elementRef& o : select->selectAll("option")) o->setStates(0, stateCurrent);
  elementRef option = f.doc.byId(optionId);
  option->setStates(stateCurrent, 0);
  select->setValue(option->text());
  f.list->applyMenu();
}

void chooseFilter(fixture& f, int filter) {
  f.list->rebuildMenu();
  f.doc.byId("filter_terminals")->setValue(std::to_string(filter));
  f.list->onFilterChosen();
  f.list->applyMenu();
}

fixture& shared() {
  static fixture f;
  return f;
}

void rebuildRows(benchmark::State& state) {
  fixture& f = shared();
  std::size_t bytes = 0;
  for (auto _ : state) {
    f.list->rebuildRows();
    bytes = f.doc.takeBatch().dump().size();
  }
  state.counters["rows"] = double(f.doc.byId("terminals_widget")->childCount());
  state.counters["batchBytes"] = double(bytes);
  state.counters["rssPerTerminalKB"] = f.rssPerTerminal / 1024;
}
BENCHMARK(rebuildRows)->Unit(benchmark::kMillisecond);

// The settings menu closed with another sort column: host and MAC in turn.
void sortChange(benchmark::State& state) {
  fixture& f = shared();
  bool byHost = true;
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    chooseSort(f, byHost ? "sort_host" : "sort_mac");
    byHost = !byHost;
    f.doc.takeBatch();
    seconds += secondsSince(start);
  }
  state.counters["xFloor"] = seconds / double(state.iterations()) / f.floorSeconds;
  chooseSort(f, "sort_mac");
  f.doc.takeBatch();
}
BENCHMARK(sortChange)->Unit(benchmark::kMillisecond);

// The filter "all but hidden" and "only Zelvar" in turn (a third of the rows change).
void filterChange(benchmark::State& state) {
  fixture& f = shared();
  bool onlyProduct = true;
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    chooseFilter(f, onlyProduct ? 2 : 1);
    onlyProduct = !onlyProduct;
    f.doc.takeBatch();
    seconds += secondsSince(start);
  }
  state.counters["xFloor"] = seconds / double(state.iterations()) / f.floorSeconds;
  chooseFilter(f, 1);
  f.doc.takeBatch();
}
BENCHMARK(filterChange)->Unit(benchmark::kMillisecond);

// One terminal reported a new host: its row is refreshed and moved under the host sort.
void oneRowUpdate(benchmark::State& state) {
  fixture& f = shared();
  chooseSort(f, "sort_host");
  f.doc.takeBatch();
  terminal* t = f.terminals.all()[terminalCount / 3];
  f.list->rowOf(*t);  // a row the browser shows
  f.doc.takeBatch();
  std::size_t bytes = 0;
  int n = 0;
  for (auto _ : state) {
    t->host = n++ & 1 ? "aaa-first" : "zzz-last";
    f.list->updateRow(*t);
    bytes = f.doc.takeBatch().dump().size();
  }
  state.counters["batchBytes"] = double(bytes);
  chooseSort(f, "sort_mac");
  f.doc.takeBatch();
}
BENCHMARK(oneRowUpdate)->Unit(benchmark::kMicrosecond);

void floorStableSortByHost(benchmark::State& state) {
  fixture& f = shared();
  std::vector<terminal*> all = f.terminals.all();
  bool ascending = true;
  for (auto _ : state) {
    std::stable_sort(all.begin(), all.end(), [&](const terminal* a, const terminal* b) {
      return ascending ? a->host < b->host : b->host < a->host;
    });
    ascending = !ascending;
  }
}
BENCHMARK(floorStableSortByHost)->Unit(benchmark::kMillisecond);

void floorRowMarkup(benchmark::State& state) {
  fixture& f = shared();
  for (auto _ : state) {
    std::string html;
    for (const terminal* t : f.list->displayed()) html += f.list->rowHtml(*t, false);
    benchmark::DoNotOptimize(html.size());
  }
}
BENCHMARK(floorRowMarkup)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
