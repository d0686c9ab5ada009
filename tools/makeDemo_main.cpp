// zvdemo: lays out a demo installation under a root directory, with registry files
// that point at it, so the console and zvctl have something real to work on.
//
//   zvdemo ROOT [BIN [SKIN]]
//                       creates ROOT/registry/hklm.conf, ROOT/registry/hkcu.conf,
//                       ROOT/Zelvar (program directory) and ROOT/ZelvarData (data
//                       directory); BIN is a build's Bin directory whose version
//                       folders (each with spec.so) are copied into ROOT/Zelvar/Bin.
//                       SKIN is the skin's source directory (the repository's skin/
//                       unless given): its style sheets and pictures are copied into
//                       ROOT/Zelvar/Bin/skin, and its src/makeFonts puts the fonts the
//                       documents name into ROOT/Zelvar/Docs/fonts.
//
// Running it again keeps every file that is there and adds what is missing, so the
// administrator's own changes to the demo survive; only the skin and the fonts, which
// are installation data, are copied afresh. Files are written through the console's
// own writers, so they are exactly what the console itself writes.
#include "common/configSaver.h"
#include "common/fstream.h"
#include "common/groups.h"
#include "common/installPaths.h"
#include "common/optionsDHCP.h"
#include "common/terminalDHCP.h"
#include "common/terminalID.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/textConv.h"

#include <arpa/inet.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace zv;

extern char** environ;

namespace {

#ifndef ZV_SKIN_SOURCE_DIR
#define ZV_SKIN_SOURCE_DIR ""
#endif

using lines = std::vector<std::u16string>;

// Writes a configuration file in the console's text form unless the file exists.
void writeConfig(const std::string& path, const lines& content) {
  if (fileExists(path)) return;
  std::vector<std::u16string> withBreaks;
  for (const std::u16string& line : content) withBreaks.push_back(line + u"\r\n");
  struct saver : CS {};
  if (!saver().saveConfigLines(path, withBreaks))
    std::fprintf(stderr, "zvdemo: cannot write %s\n", path.c_str());
}

// Raw bytes, for the deliberately damaged files.
void writeRaw(const std::string& path, const std::string& bytes) {
  if (!fileExists(path)) writeFileAtomically(path, bytes);
}

void makeLayout(const installationPaths& p) {
  for (const std::string* dir : {&p.binDir, &p.skinDir, &p.docsDir, &p.tftpRoot, &p.connectionsDir,
                                 &p.everyoneDir, &p.logsDir, &p.templatesDir, &p.terminalsDir,
                                 &p.keysDir, &p.dhcpDir, &p.graphicDir, &p.updateImagesDir})
    makeDirectories(*dir);
}

// Boot-file trees of each kind: PC and Raspberry Pi, PC only, Raspberry Pi only.
void makeBootFiles(const installationPaths& p) {
  struct version {
    const char* name;
    bool pc;
    bool pi;
  };
  for (version v : {version{"6.2.63", true, true}, version{"6.1.10", true, false},
                    version{"6.3.1", false, true}}) {
    std::string dir = p.tftpRoot + v.name + "/";
    if (v.pc) {
      makeDirectories(dir + "packages");
      writeRaw(dir + "zelvar.pxe", "demo network boot loader\n");
      writeRaw(dir + "packages/base.pkg", "demo base package\n");
    }
    if (v.pi) {
      makeDirectories(dir + "pi2");
      writeRaw(dir + "pi2/kernel.img", "demo kernel\n");
    }
  }
  makeDirectories(p.graphicDir + "Corporate blue");
  writeRaw(p.graphicDir + "Corporate blue/menu.png", "demo picture");
}

void copySpecifications(const std::string& buildBin, const installationPaths& p) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(buildBin, error)) {
    std::string so = entry.path().string() + "/spec.so";
    if (!fileExists(so)) continue;
    std::string target = p.binDir + entry.path().filename().string() + "/";
    makeDirectories(target);
    std::filesystem::copy_file(so, target + "spec.so",
                               std::filesystem::copy_options::overwrite_existing, error);
  }
}

// The skin's files (style sheets and pictures; not its sources in src/) replace those
// of the installation's skin directory.
bool copySkin(const std::string& source, const installationPaths& p) {
  std::error_code error;
  int copied = 0;
  for (const auto& entry : std::filesystem::directory_iterator(source, error)) {
    std::string name = entry.path().filename().string();
    if (name.empty() || name.front() == '.' || !entry.is_regular_file()) continue;
    if (!std::filesystem::copy_file(entry.path(), p.skinDir + name,
                                    std::filesystem::copy_options::overwrite_existing, error)) {
      std::fprintf(stderr, "zvdemo: cannot copy %s: %s\n", name.c_str(), error.message().c_str());
      return false;
    }
    ++copied;
  }
  if (error || copied == 0) {
    std::fprintf(stderr, "zvdemo: no skin in %s\n", source.c_str());
    return false;
  }
  return true;
}

// Runs the skin's font maker on the documentation directory's fonts/ and waits for it.
// Without it the documents fall back to the browser's fonts, so a failure is told but
// does not stop the demo.
void makeFonts(const std::string& skinSource, const installationPaths& p) {
  std::string program = skinSource + "src/makeFonts";
  std::string target = p.docsDir + "fonts/";
  char* argv[] = {program.data(), target.data(), nullptr};
  pid_t pid = 0;
  int status = 0;
  int error = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
  if (error == 0) {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (error != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    std::fprintf(stderr,
                 "zvdemo: the fonts in %s are incomplete (scripts/setup installs what makeFonts "
                 "needs)\n",
                 target.c_str());
}

void makeLibraries(const installationPaths& p) {
  writeConfig(p.everyoneDir + "all.zvc",
              {u"timezone=Europe/Moscow", u"locale=ru_RU.UTF-8", u"keyboard_layout=us,ru",
               u"ntp_server=192.168.10.1", u"log_level=warning"});
  writeConfig(p.templatesDir + "office.zvc",
              {u"usb_storage=off", u"printers=on", u"screensaver_timeout=15", u"sound_volume=60"});
  writeConfig(p.templatesDir + "kiosk.zvc",
              {u"usb_storage=off", u"sound=off", u"screensaver_timeout=0", u"dpms_timeout=0",
               u"autostart_delay=5"});
  writeConfig(p.templatesDir + "dual-monitor.zvc",
              {u"bpp=24", u"M2_position=right", u"video=1920x1080@60"});
  writeConfig(p.templatesDir + "support.zvc", {u"ssh=on", u"vnc_shadow=allow", u"log_level=debug"});
  writeConfig(p.connectionsDir + "rdp-farm.zvc",
              {u"type=rdp", u"address=rdp.example.local", u"displayName=Терминальная ферма",
               u"domain=EXAMPLE", u"redirect_drives=on"});
  writeConfig(
      p.connectionsDir + "web-portal.zvc",
      {u"type=web", u"url=https://portal.example.local", u"displayName=Портал", u"fullscreen=on"});
  writeConfig(p.connectionsDir + "citrix.zvc",
              {u"type=ica", u"address=ica.example.local", u"displayName=Citrix"});
  writeConfig(p.connectionsDir + "admin-ssh.zvc",
              {u"type=ssh", u"address=10.0.0.5", u"user=admin"});
  // A library file that cannot be loaded: its name is not ASCII.
  writeConfig(p.templatesDir + "\xd0\xa1\xd0\xba\xd0\xbb\xd0\xb0\xd0\xb4.zvc", {u"sound=off"});
}

void makeGroups(const installationPaths& p) {
  std::string path = p.everyoneDir + "default.zvc";
  if (fileExists(path)) return;
  auto group = [](uint8_t number, const char* address, uint8_t prefix, std::u16string name) {
    terminalGroup g;
    g.number = number;
    if (address) parseIpv4(address, g.address);
    g.prefix = address ? prefix : allGroupPrefix;
    g.name = std::move(name);
    return g;
  };
  groupList groups;
  groups.assign({group(1, "192.168.10.0", 24, u"Бухгалтерия"),
                 group(2, "192.168.20.0", 24, u"Склад"), group(3, "10.10.0.0", 16, u"Филиал"),
                 group(4, nullptr, 0, u"Остальные")});
  if (!groups.save(path)) std::fprintf(stderr, "zvdemo: cannot write %s\n", path.c_str());
}

std::string ipBytes(const char* text) {
  uint32_t address = 0;
  parseIpv4(text, address);
  return std::string(reinterpret_cast<const char*>(&address), 4);
}

void makeDhcpDefaults(const installationPaths& p) {
  if (fileExists(p.dhcpDir + "003.ip")) return;
  dhcpOptionList list;
  bool changed = false;
  putOption(list, 1, ipBytes("255.255.255.0"), dhcpTypeIp, false, u"", changed);
  putOption(list, 3, ipBytes("192.168.10.1"), dhcpTypeIp, false, u"", changed);
  putOption(list, 6, ipBytes("192.168.10.2") + ipBytes("192.168.10.3"), dhcpTypeIpList, false, u"",
            changed);
  putOption(list, 15, std::string("example.local\0", 14), dhcpTypeStr, false, u"", changed);
  putOption(list, 42, ipBytes("192.168.10.1"), dhcpTypeIp, false, u"", changed);
  putOption(list, 51, std::string("\x00\x01\x51\x80", 4), dhcpTypeU32, false, u"", changed);
  putOption(list, 224, std::string("zelvar-demo\0", 12), dhcpTypeStr, false, u"Метка площадки",
            changed);
  saveOptions(list, p.dhcpDir);
  writeRaw(p.dhcpDir + "ip_range", "192.168.10.100-192.168.10.199\n192.168.20.50-192.168.20.90\n");
}

// The configuration of demo terminal number i: a mix of plain, templated, multi-screen
// and damaged configurations.
lines configFor(int i) {
  switch (i % 9) {
    case 0:
      return {};  // no configuration of its own
    case 1:
      return {u"video=1280x1024@60", u"sound_volume=40", u"connection rdp-farm"};
    case 2:
      return {u"template office", u"connection rdp-farm",
              u"user=user" + widenAscii(std::to_string(i))};
    case 3:
      return {u"template kiosk", u"connection web-portal", u"fullscreen=on"};
    case 4:
      return {u"template office",     u"template dual-monitor", u"first screen",
              u"connection rdp-farm", u"next screen",           u"connection citrix",
              u"M2_next screen",      u"connection web-portal"};
    case 5:
      return {u"template support", u"connection admin-ssh", u"next screen hidden",
              u"connection rdp-farm"};
    case 6:
      return {u"hostname_policy=name", u"hostname=pos-" + widenAscii(std::to_string(i)),
              u"reboot_time=03:30", u"connection citrix", u"autostart=on"};
    case 7:
      return {u"template ALL", u"bpp=16", u"connection"};
    default:
      return {u"timezone=Asia/Yekaterinburg", u"screensaver_timeout=5"};
  }
}

void makeTerminals(const installationPaths& p, int count) {
  std::mt19937 random(20261209);
  const char* versions[] = {"6.2.63", "6.2.63", "6.2.63", "6.1.10", "6.3.1", "6.2.5", ""};
  const uint32_t platforms[] = {
      platformX86, platformX86, platformUefi, platformPi2B, platformPi64bit, platformWindows, 0};
  const char16_t* logins[] = {u"", u"Иванова", u"petrov", u"kassa", u"Сидоров", u"admin"};
  const char16_t* comments[] = {u"", u"", u"Касса 2", u"Кабинет #214, у окна", u"Склад, стеллаж Б",
                                u""};
  for (int i = 0; i < count; ++i) {
    macAddress mac;
    mac.bytes = {0x00, 0x1A, 0x2B, uint8_t(0x10 + i / 65536), uint8_t(i / 256), uint8_t(i)};
    if (i % 17 == 5) mac.bytes = {0xB8, 0x27, 0xEB, 0x20, uint8_t(i / 256), uint8_t(i)};
    std::string dir = p.terminalsDir + mac.directoryName() + "/";
    if (isDirectory(dir)) continue;

    terminalID id(mac);
    int subnet = i % 5 == 0 ? 20 : 10;
    if (i % 23 != 7) {
      std::string ip = "192.168." + std::to_string(subnet) + "." + std::to_string(10 + i % 240);
      parseIpv4(ip, id.ip);
    }
    id.version = versions[random() % std::size(versions)];
    id.platform = id.version.empty() ? 0 : platforms[random() % std::size(platforms)];
    if (i % 4 != 3) id.host = "ws-" + std::to_string(1000 + i);
    id.lastLogin = logins[random() % std::size(logins)];
    id.runsProduct = !id.version.empty();
    id.storeIdentity(i % 3 == 0);

    if (i % 11 == 4) writeFileAtomically(dir + "hidden", "1");
    const char16_t* comment = comments[i % std::size(comments)];
    if (*comment) writeUtf16File(dir + "comment", comment);
    if (i % 13 == 6) writeUtf16File(dir + "WOLport", u"9");
    if (i % 7 == 2) {
      dhcpOptionList options;
      bool changed = false;
      std::string address = "192.168." + std::to_string(subnet) + ".1";
      putOption(options, 3, ipBytes(address.c_str()), dhcpTypeIp, false, u"", changed);
      if (i % 2) putOption(options, 12, "auto", dhcpTypeStr, true, u"", changed);
      writeTerminalDhcp(id, options, i % 3 == 0 ? bootTypeHttp : bootTypeTftp);
    }
    lines config = configFor(i);
    if (i % 29 == 11) {
      // Damaged configurations: a key that is not ASCII, a template that does not exist.
      writeRaw(dir + "config.zvc", "video=auto\r\n\xd0\xba\xd0\xbb\xd1\x8e\xd1\x87=1\r\n");
    } else if (i % 31 == 12) {
      writeConfig(dir + "config.zvc", {u"template no-such-template", u"connection rdp-farm"});
    } else if (!config.empty()) {
      writeConfig(dir + "config.zvc", config);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: zvdemo ROOT [BIN [SKIN]]\n");
    return 2;
  }
  std::string root = argv[1];
  if (root.empty() || root.front() != '/') {
    std::fprintf(stderr, "zvdemo: ROOT must be an absolute path\n");
    return 2;
  }
  installationPaths p = derivePaths(root + "/Zelvar", root + "/ZelvarData");
  makeLayout(p);
  if (!isDirectory(p.terminalsDir)) {
    std::fprintf(stderr, "zvdemo: cannot create the directories under %s\n", root.c_str());
    return 1;
  }

  registryStore hklm(root + "/registry/hklm.conf");
  if (!hklm.set("Software\\Zelvar", "Programs", regValue::string(p.programDir)) ||
      !hklm.set("Software\\Zelvar", "Data", regValue::string(p.dataDir))) {
    std::fprintf(stderr, "zvdemo: cannot write %s\n", hklm.path().c_str());
    return 1;
  }
  uint32_t httpBoot = 0;
  if (hklm.queryDword("Software\\Zelvar", "httpboot", httpBoot) != regStatus::ok)
    hklm.set("Software\\Zelvar", "httpboot", regValue::dword(0));
  registryStore hkcu(root + "/registry/hkcu.conf");
  hkcu.createKey("Software\\Zelvar\\ZVCenter");

  setInstallationPaths(p);
  if (argc >= 3) copySpecifications(argv[2], p);
  std::string skinSource = argc == 4 ? std::string(argv[3]) : std::string(ZV_SKIN_SOURCE_DIR);
  if (!skinSource.empty() && skinSource.back() != '/') skinSource += '/';
  if (skinSource.empty() || !copySkin(skinSource, p)) return 1;
  makeFonts(skinSource, p);
  makeBootFiles(p);
  makeLibraries(p);
  makeGroups(p);
  makeDhcpDefaults(p);
  makeTerminals(p, 300);
  std::printf("demo installation in %s\n", root.c_str());
  return 0;
}
