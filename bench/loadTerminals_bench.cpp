// Start-up loading of the register of terminals, measured against a floor: a minimal
// loop that lists the same directories and opens and reads the same files. Reports
// the time of each and their ratio for 1,000, 10,000 and 50,000 terminals (or the
// counts given on the command line). The page cache is warm for both: the floor runs
// first and last, and the smaller of its two times counts.
//
// Then start-up to the first drawn list: the load, the list's rows built in the main
// frame's document, the frame's snapshot and the first screen of rows the browser asks
// for, against the same floor; and the memory the register and the list hold per
// terminal (heap in use, and resident growth of the process).
#include "common/configLibrary.h"
#include "common/installPaths.h"
#include "platform/files.h"
#include "testsupport/testSupport.h"
#include "zvc/register/terminals.h"
#include "zvc/register/terminalsList.h"

#include <malloc.h>
#include <nlohmann/json.hpp>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zv;

namespace {

void put(const std::string& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) std::abort();
  ::close(fd);
}

std::string utf16(std::u16string_view text) {
  return "\xFF\xFE" + test::utf16le(text);
}

void makeInstallation(const installationPaths& p, int count) {
  for (const std::string* d : {&p.terminalsDir, &p.templatesDir, &p.connectionsDir, &p.everyoneDir,
                               &p.logsDir, &p.dhcpDir})
    makeDirectories(*d);
  put(p.templatesDir + "office.zvc", utf16(u"sound=off\r\nvideo=1024x768\r\n"));
  put(p.connectionsDir + "farm.zvc", utf16(u"type=rdp\r\naddress=farm\r\n"));
  const std::string config =
      utf16(u"bpp=24\r\ntemplate office\r\nconnection farm\r\nuser=kassa\r\n");
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "00.1A.%02X.%02X.%02X.%02X", (i >> 24) & 0xFF,
                  (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
    std::string dir = p.terminalsDir + name + "/";
    if (::mkdir(dir.c_str(), 0755) != 0) std::abort();
    std::string ip = "10." + std::to_string((i >> 16) & 0xFF) + "." +
                     std::to_string((i >> 8) & 0xFF) + "." + std::to_string(i & 0xFF);
    put(dir + "ip", ip);
    put(dir + "version", "6.2.63");
    put(dir + "host", "ws-" + std::to_string(i));
    put(dir + "platform", "x86");
    put(dir + "iszelvar", "1");
    put(dir + "lastlogin", utf16(u"user"));
    put(dir + "003.ip", "10.0.0.1");
    put(dir + "042.ip", "10.0.0.2");
    put(dir + "boot_type", "TFTP");
    put(dir + "config.zvc", config);
  }
}

// Lists every terminal directory and opens and reads every file in it.
std::size_t floorLoop(const std::string& terminalsDir) {
  std::size_t bytes = 0;
  char buffer[4096];
  DIR* top = ::opendir(terminalsDir.c_str());
  while (dirent* entry = ::readdir(top)) {
    if (entry->d_name[0] == '.') continue;
    std::string dir = terminalsDir + entry->d_name + "/";
    DIR* inner = ::opendir(dir.c_str());
    while (dirent* file = ::readdir(inner)) {
      if (file->d_name[0] == '.') continue;
      int fd = ::open((dir + file->d_name).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes += std::size_t(n);
      ::close(fd);
    }
    ::closedir(inner);
  }
  ::closedir(top);
  return bytes;
}

double heapInUse() {
  return double(::mallinfo2().uordblks);
}

constexpr const char* frameHtml =
    "<html><body><div id=col_table><button id=menu_terminals><menu class=checkmenu></menu>"
    "</button><widget id=terminals_widget type=select></widget></div>"
    "<div id=main_tabs class=tabs></div></body></html>";

double millisecondsOf(auto&& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts = {1000, 10000, 50000};
  if (argc > 1) {
    counts.clear();
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  }
  for (int count : counts) {
    test::tempDir dir;
    installationPaths p = derivePaths(dir / "prog", dir / "data");
    setInstallationPaths(p);
    makeInstallation(p, count);

    double floor1 = millisecondsOf([&] { floorLoop(p.terminalsDir); });
    configLibraries libraries;
    libraries.load(p);
    double load = 0;
    {
      terminalRegister terminals(libraries);
      load = millisecondsOf([&] { terminals.loadAllTerminals(); });
    }
    double floor2 = millisecondsOf([&] { floorLoop(p.terminalsDir); });
    double floor = std::min(floor1, floor2);
    std::printf("%6d terminals: load %8.1f ms, floor %8.1f ms, ratio %.2f\n", count, load, floor,
                load / floor);

    // Start-up to the first drawn list, with the register loaded again from disk.
    double heapBefore = heapInUse();
    double residentBefore = test::residentBytes();
    terminalRegister terminals(libraries);
    document doc;
    userSettings settings;
    settings.showIP = true;
    std::unique_ptr<terminalsList> list;
    std::size_t firstRows = 0;
    double firstList = millisecondsOf([&] {
      terminals.loadAllTerminals();
      doc.load(frameHtml);
      list = std::make_unique<terminalsList>(doc, terminals, settings);
      list->rebuildDisplayedList();
      list->rebuildRows();
      doc.snapshot();
      firstRows = doc.rows(doc.byId("terminals_widget")->uid(), 0, 60)["nodes"].size();
    });
    std::printf("        first drawn list %8.1f ms (%zu rows), ratio to the floor %.2f\n",
                firstList, firstRows, firstList / floor);
    std::printf("        register and list: %.2f KB heap, %.2f KB resident per terminal\n",
                (heapInUse() - heapBefore) / 1024 / double(count),
                (test::residentBytes() - residentBefore) / 1024 / double(count));
    list.reset();
    resetInstallationPaths();
  }
  return 0;
}
