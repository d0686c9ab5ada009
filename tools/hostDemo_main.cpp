// zvhostdemo: serves one hard-coded window through the browser host and prints every
// client event on standard output, to try the client in a browser by hand.
//
//   zvhostdemo [--port N] [--skin DIR/] [--docs DIR/] [--client DIR/] [--log DIR/]
//
// It answers a few events the way the console would, so the client's drawing can be
// seen: the checkbox toggles, list rows become current, a context menu opens, dragged
// items move between the lists (or vanish in the trash), a lazy list of 50,000 rows
// scrolls, and a button opens a modal dialog. Closing the main window ends the program.

#include "htmlview/webHost.h"
#include "platform/diagnostics.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

using json = nlohmann::json;

json element(int uid, const char* tag, std::vector<std::pair<std::string, std::string>> attrs,
             json children = json::array(), int state = 0) {
  json a = json::array();
  for (auto& [name, value] : attrs) a.push_back({name, value});
  json node = {{"u", uid}, {"tag", tag}, {"a", a}, {"c", std::move(children)}};
  if (state) node["s"] = state;
  return node;
}

constexpr int mainWindow = 1;
constexpr int dialogWindow = 2;
constexpr int lazyCount = 50000;
constexpr int firstLazyUid = 100000;

// Element uids of the demo window.
enum : int {
  uHtml = 1,
  uHead,
  uStyle,
  uMenu,
  uMenuCopy,
  uMenuHide,
  uBody,
  uTitle,
  uMac,
  uPassword,
  uShowMac,
  uBoot,
  uBoot0,
  uBoot1,
  uBoot2,
  uTemplates,
  uLibrary,
  uTrash,
  uTerminals,
  uText,
  uOpenDialog,
  uHelp,
  uManual,
  uStatus,
  uDialogRoot,
  uDialogOk,
  uItems = 1000,
};

class demo : public zv::hostSink {
 public:
  explicit demo(zv::webHostConfig config) : host_(std::move(config), *this) {}

  bool start() { return host_.start(); }
  std::string url() { return host_.launchUrl(); }

  void onClientAttached() override {
    std::lock_guard lock(mutex_);
    std::printf("client attached\n");
    host_.send(mainFrame());
    if (dialogOpen_) host_.send(dialogFrame());
    std::fflush(stdout);
  }

  void onClientDetached() override {
    std::printf("client detached\n");
    std::fflush(stdout);
  }

  void onMessage(const json& f) override {
    std::lock_guard lock(mutex_);
    std::printf("event %s\n", f.dump().c_str());
    std::fflush(stdout);
    const std::string& t = f["t"].get_ref<const std::string&>();
    int u = f.value("u", 0);
    json ops = json::array();
    if (t == "click" && u == uShowMac) {
      setState(ops, uShowMac, state_[uShowMac] ^ 2);
    } else if (t == "click" && u == uOpenDialog) {
      dialogOpen_ = true;
      host_.send(dialogFrame());
    } else if ((t == "click" && u == uDialogOk) || (t == "closeWindow" && f["w"] == dialogWindow)) {
      dialogOpen_ = false;
      host_.send(json{{"t", "close"}, {"w", dialogWindow}});
    } else if (t == "closeWindow") {
      std::printf("main window closed\n");
      std::fflush(stdout);
      kill(getpid(), SIGTERM);
    } else if (t == "select") {
      int row = f["row"];
      int& current = current_[u];
      if (current && current != row) setState(ops, current, state_[current] & ~1);
      current = row;
      setState(ops, row, state_[row] | 1);
      if (u == uBoot)
        ops.push_back({{"op", "value"}, {"u", uBoot}, {"v", std::to_string(row - uBoot0)}});
    } else if (t == "contextmenu") {
      setState(ops, uMenu, 128);
    } else if (t == "menuitem" || t == "popupDismissed") {
      setState(ops, uMenu, 0);
      if (u == uMenuCopy) host_.send(R"({"t":"clipboard","text":"00:1A:2B:00:00:01"})");
    } else if (t == "click" && f.contains("href")) {
      // The console opens pages of the documentation in a new tab; "#" anchors are
      // help topics it shows itself.
      std::string href = f["href"];
      if (!href.starts_with("#")) host_.send(json{{"t", "open"}, {"url", "/docs/" + href}});
    } else if (t == "rows") {
      host_.send(rowsFrame(f["from"], f["to"]));
    } else if (t == "drop") {
      moveItem(ops, u, f["target"], f["index"]);
    }
    if (t != "rows" && t != "scroll" && t != "geometry") status(ops, f.dump());
    if (!ops.empty()) host_.send(json{{"t", "batch"}, {"w", f["w"]}, {"ops", std::move(ops)}});
  }

 private:
  void setState(json& ops, int uid, int s) {
    state_[uid] = s;
    ops.push_back({{"op", "state"}, {"u", uid}, {"s", s}});
  }

  void status(json& ops, const std::string& text) {
    ops.push_back({{"op", "content"}, {"u", uStatus}, {"c", json::array({text})}});
  }

  json item(int uid) {
    return element(uid, "li", {{"draggable", "true"}, {"class", "item"}},
                   json::array({itemText_[uid]}));
  }

  void moveItem(json& ops, int uid, int target, int index) {
    for (auto& [list, items] : lists_) std::erase(items, uid);
    ops.push_back({{"op", "remove"}, {"u", uid}});
    if (target == uTrash) return;
    auto it = lists_.find(target);
    if (it == lists_.end()) return;
    auto& items = it->second;
    index = std::min<int>(index, int(items.size()));
    items.insert(items.begin() + index, uid);
    ops.push_back({{"op", "insert"}, {"parent", target}, {"index", index}, {"node", item(uid)}});
  }

  json listNode(int uid, const char* id) {
    json children = json::array();
    for (int i : lists_[uid]) children.push_back(item(i));
    return element(uid, "ul", {{"id", id}, {"class", "dstlist"}, {"dropzone", ""}}, children);
  }

  json rowsFrame(int from, int to) {
    json nodes = json::array();
    for (int i = from; i < std::min(to, lazyCount); ++i) {
      int uid = firstLazyUid + i;
      char mac[32];
      std::snprintf(mac, sizeof mac, "00:1A:2B:%02X:%02X:%02X", (i >> 16) & 255, (i >> 8) & 255,
                    i & 255);
      nodes.push_back(element(uid, "option", {},
                              json::array({std::string(mac) + "  терминал " + std::to_string(i)}),
                              state_[uid]));
    }
    return json{{"t", "rows"},  {"w", mainWindow}, {"u", uTerminals},
                {"from", from}, {"nodes", nodes},  {"count", lazyCount}};
  }

  json mainFrame() {
    static const char* css =
        "body{font:13px sans-serif;margin:8px} .row{margin:6px 0} label{display:inline-block;"
        "width:9em} .dstlist{display:inline-block;vertical-align:top;width:12em;min-height:6em;"
        "margin:0 8px 0 0;padding:2px;border:1px solid #999;list-style:none} .item{padding:2px 4px;"
        "border:1px solid #ccd;margin:2px;background:#f4f6fb} #trash{display:inline-block;"
        "width:6em;height:4em;border:1px dashed #a33;text-align:center} #terminals{height:160px;"
        "width:26em} #status{color:#235;font:12px monospace;white-space:pre-wrap}";
    json head = element(
        uHead, "head", {},
        json::array({element(uStyle, "style", {}, json::array({css})),
                     element(uMenu, "menu", {{"id", "list_context"}},
                             json::array({element(uMenuCopy, "li", {{"id", "mac_copy"}},
                                                  json::array({"Копировать MAC"})),
                                          element(uMenuHide, "li", {{"id", "terminal_hide"}},
                                                  json::array({"Скрыть терминал"}))}),
                             state_[uMenu])}));
    // Elements nobody addresses still need uids; the same ones each time the window is sent.
    int anonymous = 5000;
    auto row = [&](json children) {
      return element(anonymous++, "div", {{"class", "row"}}, children);
    };
    auto label = [&](const char* text) {
      return element(anonymous++, "label", {}, json::array({text}));
    };
    json lazy = element(uTerminals, "widget", {{"id", "terminals"}, {"type", "select"}});
    lazy.erase("c");
    lazy["lazy"] = {{"count", lazyCount}};
    json macInput = element(uMac, "input",
                            {{"id", "mac"},
                             {"maxlength", "17"},
                             {"size", "17"},
                             {"filter", "0~9a~fA~F:"},
                             {"novalue", "00:00:00:00:00:00"}});
    json body = element(
        uBody, "body", {},
        json::array({
            element(uTitle, "h3", {}, json::array({"Демонстрация браузерного клиента"})),
            row(json::array({label("MAC:"), macInput})),
            row(json::array({label("Пароль:"), element(uPassword, "input",
                                                       {{"type", "password"},
                                                        {"id", "password"},
                                                        {"maxlength", "16"},
                                                        {"filter", " ~~"}})})),
            row(json::array({element(uShowMac, "button", {{"type", "checkbox"}, {"id", "showMAC"}},
                                     json::array({"Показывать MAC"}), state_[uShowMac])})),
            row(json::array(
                {label("Загрузка:"),
                 element(uBoot, "select", {{"id", "boot_type"}},
                         json::array({element(uBoot0, "option", {{"value", "0"}},
                                              json::array({"как у всех (TFTP)"}), state_[uBoot0]),
                                      element(uBoot1, "option", {{"value", "1"}},
                                              json::array({"TFTP"}), state_[uBoot1]),
                                      element(uBoot2, "option", {{"value", "2"}},
                                              json::array({"HTTP"}), state_[uBoot2])}))})),
            row(json::array({listNode(uTemplates, "templates_list"),
                             listNode(uLibrary, "templates"),
                             element(uTrash, "div", {{"id", "trash"}, {"dropzone", ""}},
                                     json::array({"Корзина"}))})),
            row(json::array({lazy})),
            row(json::array({element(uText, "plaintext", {{"id", "text"}, {"rows", "4"}},
                                     json::array({"строка 1\nстрока 2"}))})),
            row(json::array(
                {element(uOpenDialog, "button", {{"id", "open_dialog"}},
                         json::array({"Открыть диалог"})),
                 " ", element(uHelp, "a", {{"href", "#help_topic"}}, json::array({"Справка"})), " ",
                 element(uManual, "a", {{"href", "manual.htm"}}, json::array({"Руководство"}))})),
            element(uStatus, "div", {{"id", "status"}}),
        }));
    return json{{"t", "window"},
                {"w", mainWindow},
                {"title", "Zelvar Center — демонстрация"},
                {"width", 1200},
                {"height", 950},
                {"owner", 0},
                {"modal", false},
                {"root", element(uHtml, "html", {}, json::array({head, body}))},
                {"css", json::array()}};
  }

  json dialogFrame() {
    json root = element(
        uDialogRoot, "body", {},
        json::array(
            {element(uDialogOk + 1, "p", {}, json::array({"Модальное окно поверх главного."})),
             element(uDialogOk, "button", {{"id", "ok"}}, json::array({"OK"}))}));
    return json{{"t", "window"}, {"w", dialogWindow}, {"title", "Диалог"},
                {"width", 320},  {"height", 160},     {"owner", mainWindow},
                {"modal", true}, {"root", root},      {"css", json::array()}};
  }

  zv::webHost host_;
  std::mutex mutex_;
  std::map<int, int> state_;
  std::map<int, int> current_;
  std::map<int, std::vector<int>> lists_ = {{uTemplates, {uItems, uItems + 1}},
                                            {uLibrary, {uItems + 2, uItems + 3, uItems + 4}}};
  std::map<int, std::string> itemText_ = {{uItems, "all.zvc"},
                                          {uItems + 1, "кабинет5.zvc"},
                                          {uItems + 2, "rdp.zvc"},
                                          {uItems + 3, "kiosk.zvc"},
                                          {uItems + 4, "vnc.zvc"}};
  bool dialogOpen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  zv::webHostConfig config;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    std::string value = argv[i + 1];
    if (option == "--port") {
      char* end = nullptr;
      unsigned long port = std::strtoul(value.c_str(), &end, 10);
      if (*end != '\0' || port > 65535) {
        std::fprintf(stderr, "zvhostdemo: bad port %s\n", value.c_str());
        return 2;
      }
      config.port = static_cast<std::uint16_t>(port);
    } else if (option == "--skin") {
      config.skinDirectory = value;
    } else if (option == "--docs") {
      config.docsDirectory = value;
    } else if (option == "--client") {
      config.clientDirectory = value;
    } else if (option == "--log") {
      zv::setLogDirectory(value);
    } else {
      std::fprintf(stderr, "zvhostdemo: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  // The host's thread inherits the mask, so the signals arrive here only.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  demo d(config);
  if (!d.start()) {
    std::fprintf(stderr, "zvhostdemo: the host did not start (see the diagnostic log)\n");
    return 1;
  }
  std::printf("%s\n", d.url().c_str());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  return 0;
}
