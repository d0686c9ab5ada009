// Two real zvcenter processes meet over the instance mailslot: the second one asks its
// user, the first one's user refuses or lets it take over.

#include "platform/registry.h"
#include "testsupport/testSupport.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "platform/controlSocket.h"
#include "platform/mailslot.h"
#include "zvc/cli/zvctl.h"

#include <sys/wait.h>

#include <sstream>

#include <chrono>
#include <map>
#include <optional>
#include <thread>

extern char** environ;

namespace zv {
namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using json = nlohmann::json;
using namespace std::chrono_literals;

// A loopback port nobody listens on now.
std::uint16_t freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// One zvcenter process: standard input from /dev/null (so its boxes before the user
// interface take their default buttons), output into files.
class console {
 public:
  console(const std::string& outPrefix, const std::map<std::string, std::string>& env)
      : out_(outPrefix + ".out"), err_(outPrefix + ".err") {
    std::vector<std::string> variables;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      if (!env.count(entry.substr(0, entry.find('=')))) variables.push_back(entry);
    }
    for (const auto& [name, value] : env) variables.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string program = ZV_ZVCENTER;
    std::string noBrowser = "--no-browser";
    char* argv[] = {program.data(), noBrowser.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    started_ = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~console() {
    if (running()) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return started_; }
  bool running() const { return started_ && !exitCode_; }
  std::string out() const { return test::readFile(out_); }
  std::string err() const { return test::readFile(err_); }

  // Waits until standard output holds the text; false when the time passed or the
  // process ended first.
  bool waitForOutput(std::string_view text, std::chrono::milliseconds patience) {
    auto end = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < end) {
      if (out().find(text) != std::string::npos) return true;
      if (!poll()) return false;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  // The exit code once the process ended within the time; nullopt otherwise.
  std::optional<int> waitForExit(std::chrono::milliseconds patience) {
    auto end = std::chrono::steady_clock::now() + patience;
    while (poll() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(20ms);
    return exitCode_;
  }
  void terminate() { ::kill(pid_, SIGTERM); }

  // The address the console printed.
  std::string url() const {
    std::string text = out();
    std::size_t at = text.find("http://127.0.0.1:");
    return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
  }

 private:
  // True while it runs.
  bool poll() {
    if (!started_ || exitCode_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }

  std::string out_;
  std::string err_;
  pid_t pid_ = 0;
  bool started_ = false;
  std::optional<int> exitCode_;
};

// The browser's side of a console: one WebSocket, frames as JSON.
class browserClient {
 public:
  explicit browserClient(const std::string& url) : ws_(ioc_) {
    std::size_t colon = url.find(':', std::string("http://").size());
    std::size_t slash = url.find('/', colon);
    std::uint16_t port = std::uint16_t(std::stoi(url.substr(colon + 1, slash - colon - 1)));
    std::string host = "127.0.0.1:" + std::to_string(port);
    // The launch address gives the session cookie, which the WebSocket then shows.
    std::string cookie;
    {
      beast::tcp_stream page(ioc_);
      page.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
      beast::http::request<beast::http::empty_body> req(beast::http::verb::get, url.substr(slash),
                                                        11);
      req.set(beast::http::field::host, host);
      beast::http::write(page, req);
      beast::flat_buffer buffer;
      beast::http::response<beast::http::string_body> res;
      beast::http::read(page, buffer, res);
      std::string set(res[beast::http::field::set_cookie]);
      cookie = set.substr(0, set.find(';'));
    }
    beast::get_lowest_layer(ws_).connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    ws_.set_option(websocket::stream_base::decorator([host, cookie](websocket::request_type& req) {
      req.set(beast::http::field::origin, "http://" + host);
      req.set(beast::http::field::cookie, cookie);
    }));
    ws_.handshake(host, "/ws");
  }

  // The next frame, or null when none came within the time.
  json read(std::chrono::milliseconds patience) {
    beast::flat_buffer buffer;
    std::optional<beast::error_code> result;
    ws_.async_read(buffer, [&](beast::error_code ec, std::size_t) { result = ec; });
    ioc_.restart();
    ioc_.run_for(patience);
    if (!result) {
      beast::get_lowest_layer(ws_).cancel();
      ioc_.restart();
      ioc_.run();
      return nullptr;
    }
    if (*result) return nullptr;
    return json::parse(beast::buffers_to_string(buffer.data()));
  }

  void send(const json& frame) { ws_.write(net::buffer(frame.dump())); }

 private:
  net::io_context ioc_;
  websocket::stream<beast::tcp_stream> ws_;
};

// The uid of the element with the id, in a wire node; 0 when there is none.
std::uint64_t uidOfId(const json& node, std::string_view id) {
  if (!node.is_object()) return 0;
  for (const json& attribute : node.value("a", json::array()))
    if (attribute[0] == "id" && attribute[1] == id) return node["u"].get<std::uint64_t>();
  for (const json& child : node.value("c", json::array()))
    if (std::uint64_t uid = uidOfId(child, id)) return uid;
  return 0;
}

std::size_t count(const std::string& text, std::string_view fragment) {
  std::size_t n = 0;
  for (std::size_t at = text.find(fragment); at != std::string::npos;
       at = text.find(fragment, at + 1))
    ++n;
  return n;
}

// A temporary installation and the environment both consoles share; each gets a port.
class InstanceProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    registryStore hklm(dir / "hklm.conf");
    hklm.set("Software\\Zelvar", "Programs", regValue::string(dir / "prog"));
    hklm.set("Software\\Zelvar", "Data", regValue::string(dir / "data"));
    test::writeFile(dir / "data/Logs/.keep", "");
    static int counter = 0;
    env = {{"ZELVAR_HKLM", dir / "hklm.conf"},
           {"ZELVAR_HKCU", dir / "hkcu.conf"},
           {"ZELVAR_INTERFACES", "lo"},
           {"ZELVAR_MAILSLOTS", "zelvar-test-" + std::to_string(::getpid()) + "-processes" +
                                    std::to_string(++counter) + "/"},
           {"DISPLAY", ""},
           {"WAYLAND_DISPLAY", ""}};
  }

  std::unique_ptr<console> start(const std::string& name, std::chrono::milliseconds answerWindow) {
    auto variables = env;
    variables["ZELVAR_PORT"] = std::to_string(freePort());
    variables["ZELVAR_INSTANCE_ANSWER_MS"] = std::to_string(answerWindow.count());
    return std::make_unique<console>(dir / name, variables);
  }

  test::tempDir dir;
  std::map<std::string, std::string> env;
};

constexpr std::string_view question =
    "Zelvar: Конфигуратор уже запущен на этом сервере. \nЕсли вы продолжите, другой "
    "пользователь должен будет закрыть приложение. \nПродолжить?";
constexpr std::string_view waiting = "Внимание: Пожалуйста, ждите ответа другой стороны...";
constexpr std::string_view refusal =
    "Zelvar: Другой пользователь отказался закрыть конфигуратор. Невозможно запустить "
    "приложение.";

// Nobody refuses at the first console: it ends with 0 after its answer window and the
// second one, which asked and waited, goes on to its main window.
TEST_F(InstanceProcesses, SecondTakesOverWhenNobodyRefuses) {
  auto first = start("first", 1500ms);
  ASSERT_TRUE(first->started());
  ASSERT_TRUE(first->waitForOutput("address:", 20s)) << first->err();

  auto second = start("second", 1500ms);
  auto asked = std::chrono::steady_clock::now();
  std::optional<int> firstExit = first->waitForExit(20s);
  auto ended = std::chrono::steady_clock::now();
  ASSERT_EQ(firstExit, 0) << first->err();
  EXPECT_GE(ended - asked, 1500ms) << "the first user had the whole answer window";
  ASSERT_TRUE(second->waitForOutput("address:", 20s)) << second->err();
  EXPECT_EQ(count(second->err(), question), 1u) << second->err();
  EXPECT_EQ(count(second->err(), waiting), 1u);
  EXPECT_EQ(count(second->err(), refusal), 0u);

  // The second one owns the name now and ends normally.
  second->terminate();
  EXPECT_EQ(second->waitForExit(20s), 0);
  std::string log = test::readFile(dir / "data/Logs/zvc.log");
  EXPECT_NE(log.find("another console takes over; this one ends"), std::string::npos) << log;
  EXPECT_NE(log.find("the other console closed; this one goes on"), std::string::npos) << log;
}

// The first console's user clicks Cancel in its box: the second one is told so once,
// ends with 0 before loading anything, and the first one keeps running.
TEST_F(InstanceProcesses, RefusalMakesTheSecondGiveUp) {
  auto first = start("first", 30000ms);
  ASSERT_TRUE(first->started());
  ASSERT_TRUE(first->waitForOutput("address:", 20s)) << first->err();
  browserClient browser(first->url());

  auto second = start("second", 30000ms);
  bool clicked = false;
  auto end = std::chrono::steady_clock::now() + 20s;
  while (!clicked && std::chrono::steady_clock::now() < end) {
    json frame = browser.read(1s);
    if (frame.is_null() || frame["t"] != "window" || frame["title"] != "Zelvar") continue;
    EXPECT_NE(frame["root"].dump().find("Получен запрос закрыть конфигуратор."), std::string::npos);
    std::uint64_t cancel = uidOfId(frame["root"], "IDCANCEL");
    ASSERT_NE(cancel, 0u);
    browser.send({{"t", "click"},
                  {"w", frame["w"]},
                  {"u", cancel},
                  {"mods", {{"ctrl", false}, {"shift", false}, {"alt", false}}},
                  {"x", 1},
                  {"y", 1}});
    clicked = true;
  }
  ASSERT_TRUE(clicked) << "the first console never asked";

  EXPECT_EQ(second->waitForExit(20s), 0) << second->err();
  EXPECT_EQ(count(second->err(), question), 1u) << second->err();
  EXPECT_EQ(count(second->err(), refusal), 1u) << second->err();
  EXPECT_EQ(second->out().find("address:"), std::string::npos);
  EXPECT_EQ(second->out().find("terminals:"), std::string::npos);

  ASSERT_TRUE(first->running());
  first->terminate();
  EXPECT_EQ(first->waitForExit(20s), 0);
}

// The printed address opens the console once; the running console hands out fresh
// ones over its control socket to root and its own user only (zvctl console url).
TEST_F(InstanceProcesses, OneTimeAddressesAndTheControlSocket) {
  auto first = start("first", 1500ms);
  ASSERT_TRUE(first->waitForOutput("address:", 20s)) << first->err();
  std::string printed = first->url();
  ASSERT_NE(printed.find("/?token="), std::string::npos) << first->out();
  { browserClient opened(printed); }
  EXPECT_ANY_THROW(browserClient replay(printed));  // a second client, the used address

  setMailslotNamespace(env["ZELVAR_MAILSLOTS"]);
  std::optional<std::string> answer;
  for (int i = 0; i < 100 && !answer; ++i) {
    answer = controlRequest(consoleControlName, R"({"command":"url"})");
    if (!answer) std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(answer);
  json reply = json::parse(*answer);
  ASSERT_EQ(reply["ok"], true) << *answer;
  std::string fresh = reply["url"];
  EXPECT_NE(fresh, printed);
  EXPECT_EQ(json::parse(*controlRequest(consoleControlName, "nonsense"))["ok"], false);
  std::ostringstream out, err;
  EXPECT_EQ(runZvctl({"console", "url"}, out, err), 0);
  EXPECT_NE(out.str().find("/?token="), std::string::npos) << out.str();
  {
    browserClient second(fresh);
    EXPECT_FALSE(second.read(10s).is_null());
  }
  if (::geteuid() == 0) {
    pid_t child = ::fork();
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
      ::_exit(controlRequest(consoleControlName, R"({"command":"url"})") ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another user got an address";
  }
  setMailslotNamespace("");
  first->terminate();
  EXPECT_EQ(first->waitForExit(20s), 0);
  std::string log = test::readFile(dir / "data/Logs/zvc.log");
  EXPECT_NE(log.find("refused a request of uid 65534"), std::string::npos) << log;
  EXPECT_NE(log.find("web host: refused GET /"), std::string::npos) << log;
  EXPECT_NE(log.find("WebSocket refused: no valid session cookie"), std::string::npos) << log;
}

}  // namespace
}  // namespace zv
