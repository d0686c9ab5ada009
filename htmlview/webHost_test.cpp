#include "htmlview/webHost.h"

#include "htmlview/windowHost.h"
#include "testsupport/testSupport.h"

#include <gtest/gtest.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace zv {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using json = nlohmann::json;
using namespace std::chrono_literals;

constexpr auto patience = 10s;

// Records what the host tells the console; tests wait on it instead of sleeping.
class recordingSink : public hostSink {
 public:
  void onClientAttached() override {
    change([&] { ++attached; });
  }
  void onClientDetached() override {
    change([&] { ++detached; });
  }
  void onMessage(const json& frame) override {
    change([&] { messages.push_back(frame); });
  }
  std::size_t queuedFrames() const override { return queued; }
  std::atomic<std::size_t> queued{0};

  bool waitFor(const std::function<bool()>& done) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, patience, done);
  }
  template <class T>
  T read(const T& field) {
    std::lock_guard lock(mutex_);
    return field;
  }

  int attached = 0;
  int detached = 0;
  std::vector<json> messages;

 private:
  void change(const std::function<void()>& f) {
    {
      std::lock_guard lock(mutex_);
      f();
    }
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
};

struct httpAnswer {
  unsigned status = 0;
  std::string contentType;
  std::string body;
  std::string location;
  std::string setCookie;
};

// One plain HTTP exchange on a fresh connection; extra headers as name/value pairs.
httpAnswer request(std::uint16_t port, const std::string& target, const std::string& host,
                   const std::vector<std::pair<std::string, std::string>>& headers = {}) {
  net::io_context ioc;
  beast::tcp_stream stream(ioc);
  stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
  http::request<http::empty_body> req(http::verb::get, target, 11);
  req.set(http::field::host, host);
  for (const auto& [name, value] : headers) req.set(name, value);
  http::write(stream, req);
  beast::flat_buffer buffer;
  http::response<http::string_body> res;
  beast::error_code ec;
  http::read(stream, buffer, res, ec);
  httpAnswer answer;
  if (ec) return answer;
  answer.status = res.result_int();
  answer.contentType = std::string(res[http::field::content_type]);
  answer.body = res.body();
  answer.location = std::string(res[http::field::location]);
  answer.setCookie = std::string(res[http::field::set_cookie]);
  return answer;
}

// The session cookie ("zvsession=…") a launch address gives, through `port` (the
// console's own, or a forward of it).
std::string sessionFrom(const std::string& url, std::uint16_t port) {
  std::string target = url.substr(url.find("/?token="));
  httpAnswer a = request(port, target, "127.0.0.1:" + std::to_string(port));
  if (a.status != 303) return {};
  return a.setCookie.substr(0, a.setCookie.find(';'));
}

// A WebSocket client of the kind the page is; reads wait at most `patience`.
class wsClient {
 public:
  wsClient(std::uint16_t port, const std::string& cookie) : ws_(ioc_) {
    std::string host = "127.0.0.1:" + std::to_string(port);
    beast::get_lowest_layer(ws_).connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
    ws_.set_option(websocket::stream_base::decorator([host, cookie](websocket::request_type& req) {
      req.set(http::field::origin, "http://" + host);
      req.set(http::field::cookie, cookie);
    }));
    ws_.handshake(host, "/ws");
  }

  void send(const std::string& text, bool binary = false) {
    ws_.binary(binary);
    ws_.write(net::buffer(text));
  }

  // The next frame's text, or the error that ended the connection.
  std::string read(beast::error_code* error = nullptr) {
    beast::flat_buffer buffer;
    std::optional<beast::error_code> result;
    ws_.async_read(buffer, [&](beast::error_code ec, std::size_t) { result = ec; });
    ioc_.restart();
    ioc_.run_for(patience);
    if (!result) {
      ADD_FAILURE() << "no frame within the time allowed";
      beast::get_lowest_layer(ws_).close();
      return {};
    }
    if (error) *error = *result;
    if (*result) return {};
    return beast::buffers_to_string(buffer.data());
  }

  void close() { ws_.close(websocket::close_code::normal); }
  // What the host's closing said, once a read has ended with websocket::error::closed.
  const websocket::close_reason& closeReason() const { return ws_.reason(); }

 private:
  net::io_context ioc_;
  websocket::stream<beast::tcp_stream> ws_;
};

class WebHost : public ::testing::Test {
 protected:
  void SetUp() override {
    webHostConfig config;
    config.skinDirectory = dir / "skin/";
    config.docsDirectory = dir / "docs/";
    host = std::make_unique<webHost>(config, sink);
    ASSERT_TRUE(host->start());
  }
  std::string hostHeader() const { return "127.0.0.1:" + std::to_string(host->port()); }
  std::string origin() const { return "http://" + hostHeader(); }
  std::string session() { return sessionFrom(host->launchUrl(), host->port()); }

  test::logCapture log;
  test::tempDir dir;
  recordingSink sink;
  std::unique_ptr<webHost> host;
};

// Over real sockets: the launch address opens the console once and leaves a session
// cookie; a second client presenting the used address is refused; the page and the
// WebSocket then go by the cookie alone.
TEST_F(WebHost, LaunchAddressOpensOnceAndLeavesACookie) {
  std::string url = host->launchUrl();
  ASSERT_TRUE(url.starts_with("http://" + hostHeader() + "/?token=")) << url;
  EXPECT_NE(host->launchUrl(), url);  // every address is new
  std::string target = url.substr(url.find("/?token="));
  EXPECT_EQ(request(host->port(), target, "rebound.example:80").status, 403u);
  httpAnswer first = request(host->port(), target, hostHeader());
  EXPECT_EQ(first.status, 303u);
  EXPECT_EQ(first.location, "/");
  EXPECT_TRUE(first.setCookie.ends_with("; Path=/; HttpOnly; SameSite=Strict")) << first.setCookie;
  std::string cookie = first.setCookie.substr(0, first.setCookie.find(';'));
  httpAnswer second = request(host->port(), target, hostHeader());
  EXPECT_EQ(second.status, 403u);
  EXPECT_TRUE(second.setCookie.empty());

  EXPECT_EQ(request(host->port(), "/", hostHeader()).status, 403u);
  httpAnswer page = request(host->port(), "/", hostHeader(), {{"Cookie", cookie}});
  EXPECT_EQ(page.status, 200u);
  EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
  EXPECT_NE(page.body.find("/client.js"), std::string::npos);
  httpAnswer script =
      request(host->port(), "/wire.js", "localhost:" + std::to_string(host->port()));
  EXPECT_EQ(script.status, 200u);
  EXPECT_EQ(script.contentType, "text/javascript; charset=utf-8");
  EXPECT_NE(script.body.find("WebSocket"), std::string::npos);

  wsClient client(host->port(), cookie);
  ASSERT_TRUE(sink.waitFor([&] { return sink.attached == 1; }));
}

// The browser's address is bound to its uid: presented from another user's connection
// (the kernel's socket table names the owner) it is refused, and its owner still gets in.
TEST_F(WebHost, BrowserAddressOpensOnlyForItsUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
  std::string url = host->launchUrl(::geteuid());
  std::string target = url.substr(url.find("/?token="));
  pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    ::_exit(request(host->port(), target, hostHeader()).status == 403 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(log.contains("was presented from uid 65534"));
  EXPECT_EQ(request(host->port(), target, hostHeader()).status, 303u);
}

// Each wrong part of an upgrade request alone is refused with 403 and no upgrade, and
// no client attaches; the same request with every part right is upgraded.
TEST_F(WebHost, RefusesForeignWebSockets) {
  struct upgradeCase {
    const char* name;
    std::string target, host, origin;
    unsigned status;
    const char* logged;
  };
  const std::string good = "/ws";
  const std::string port = std::to_string(host->port());
  const std::string cookie = session();
  const upgradeCase cases[] = {
      {"no cookie", "/ws?token=" + std::string(64, 'f'), hostHeader(), origin(), 403,
       "no valid session cookie"},
      {"foreign origin", good, hostHeader(), "http://evil.example", 403, "Origin"},
      {"no origin", good, hostHeader(), "", 403, "Origin"},
      {"origin on another port", good, hostHeader(), "http://127.0.0.1:1", 403, "Origin"},
      {"foreign host", good, "evil.example:" + port, origin(), 403, "foreign Host"},
      {"other path", "/socket", hostHeader(), origin(), 403, "not the WebSocket path"},
      {"everything right", good, hostHeader(), origin(), 101, nullptr},
      {"localhost names", good, "localhost:" + port, "http://localhost:" + port, 101, nullptr},
      {"a forwarded port", good, "127.0.0.1:2222", "http://127.0.0.1:2222", 101, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    std::vector<std::pair<std::string, std::string>> headers = {
        {"Upgrade", "websocket"},
        {"Connection", "Upgrade"},
        {"Sec-WebSocket-Key", "dGhlIHNhbXBsZSBub25jZQ=="},
        {"Sec-WebSocket-Version", "13"}};
    if (!c.origin.empty()) headers.emplace_back("Origin", c.origin);
    if (c.target != "/ws?token=" + std::string(64, 'f')) headers.emplace_back("Cookie", cookie);
    int before = sink.read(sink.attached);
    httpAnswer answer = request(host->port(), c.target, c.host, headers);
    EXPECT_EQ(answer.status, c.status);
    if (c.logged) {
      EXPECT_TRUE(log.contains(c.logged)) << log.text();
      EXPECT_EQ(sink.read(sink.attached), before);
    } else {
      // The upgraded connection is closed at once; wait until the host has noticed.
      EXPECT_TRUE(sink.waitFor([&] { return sink.detached == before + 1; }));
    }
  }
}

// One client controls the console: a second one is told so and closed; frames reach
// only the controller; when it leaves, the next client takes over. When the console
// ends, the controller gets its last frame and a closing that says the console ended.
TEST_F(WebHost, OneControllingClient) {
  const std::string cookie = session();
  auto first = std::make_unique<wsClient>(host->port(), cookie);
  ASSERT_TRUE(sink.waitFor([&] { return sink.attached == 1; }));
  EXPECT_TRUE(host->clientAttached());

  {
    wsClient second(host->port(), cookie);
    EXPECT_EQ(json::parse(second.read()), json::parse(R"({"t":"inUse"})"));
    beast::error_code ec;
    second.read(&ec);
    EXPECT_EQ(ec, websocket::error::closed);
    EXPECT_EQ(second.closeReason().code, websocket::close_code::try_again_later);
  }
  EXPECT_EQ(sink.read(sink.attached), 1);

  host->send(json{{"t", "cursor"}, {"wait", true}});
  EXPECT_EQ(json::parse(first->read()), json::parse(R"({"t":"cursor","wait":true})"));

  first->close();
  ASSERT_TRUE(sink.waitFor([&] { return sink.detached == 1; }));
  EXPECT_FALSE(host->clientAttached());
  host->send(R"({"t":"cursor","wait":false})");  // nobody to receive it: dropped

  wsClient third(host->port(), cookie);
  ASSERT_TRUE(sink.waitFor([&] { return sink.attached == 2; }));
  host->send(R"({"t":"close","w":3})");
  EXPECT_EQ(third.read(), R"({"t":"close","w":3})");

  host->send(R"({"t":"cursor","wait":true})");
  std::thread ending([&] { host.reset(); });
  beast::error_code ec;
  EXPECT_EQ(third.read(&ec), R"({"t":"cursor","wait":true})") << ec.message();
  third.read(&ec);
  ending.join();
  EXPECT_EQ(ec, websocket::error::closed);
  EXPECT_EQ(third.closeReason().code, endedCloseCode);
  EXPECT_EQ(third.closeReason().reason, endedCloseReason);
  EXPECT_FALSE(log.contains("did not answer the closing"));
}

// Frames go both ways; frames sent from several threads each keep their order.
TEST_F(WebHost, FramesBothWays) {
  const std::string cookie = session();
  wsClient client(host->port(), cookie);
  ASSERT_TRUE(sink.waitFor([&] { return sink.attached == 1; }));

  client.send(
      R"({"t":"click","w":1,"u":42,"mods":{"ctrl":true,"shift":false,"alt":false},"x":3,"y":4,"junk":1})");
  ASSERT_TRUE(sink.waitFor([&] { return sink.messages.size() == 1; }));
  EXPECT_EQ(
      sink.read(sink.messages)[0],
      json::parse(
          R"({"t":"click","w":1,"u":42,"mods":{"ctrl":true,"shift":false,"alt":false},"x":3,"y":4})"));

  constexpr int perThread = 300;
  auto sender = [&](int id) {
    for (int i = 0; i < perThread; ++i) host->send(json{{"t", "cursor"}, {"id", id}, {"n", i}});
  };
  std::thread a(sender, 1), b(sender, 2);
  a.join();
  b.join();
  int next[3] = {0, 0, 0};
  for (int i = 0; i < 2 * perThread; ++i) {
    json frame = json::parse(client.read());
    int id = frame["id"];
    ASSERT_EQ(frame["n"], next[id]);
    ++next[id];
  }
  // Text that is not valid UTF-8 still goes out as valid JSON.
  host->send(json{{"t", "clipboard"}, {"text", "a\xFF"}});
  EXPECT_EQ(json::parse(client.read())["text"], "a\xEF\xBF\xBD");
}

// Frames that are not JSON, not of the protocol, binary or too large are dropped with a
// line in the log; the connection stays and the next good frame arrives.
TEST_F(WebHost, DropsBadFramesAndKeepsTheConnection) {
  const std::string cookie = session();
  wsClient client(host->port(), cookie);
  ASSERT_TRUE(sink.waitFor([&] { return sink.attached == 1; }));

  client.send("hello");
  client.send(R"({"t":"format","w":1})");
  client.send(R"({"t":"input","w":1,"u":"7","v":"x"})");
  client.send(R"({"t":"menuitem","w":1,"u":7})", true);
  client.send(R"({"t":"input","w":1,"u":7,"v":")" + std::string(1024 * 1024, 's') + R"("})");
  client.send(R"({"t":"menuitem","w":1,"u":7})");
  ASSERT_TRUE(sink.waitFor([&] { return !sink.messages.empty(); }));
  EXPECT_EQ(sink.read(sink.messages),
            std::vector<json>{json::parse(R"({"t":"menuitem","w":1,"u":7})")});
  EXPECT_TRUE(log.contains("dropped a client frame: not valid JSON"));
  EXPECT_TRUE(log.contains("dropped a client frame: unknown frame type \"format\""));
  EXPECT_TRUE(log.contains("dropped a client frame: input: field u has the wrong type"));
  EXPECT_TRUE(log.contains("dropped a binary frame"));
  EXPECT_TRUE(log.contains("over the limit"));
  // What was typed is never written to the log.
  EXPECT_FALSE(log.contains("sss"));
  EXPECT_EQ(sink.read(sink.detached), 0);
}

// Skin files and documentation fonts are served with their content types; nothing
// outside their directories is reachable.
TEST_F(WebHost, ServesSkinAndFontsButNothingElse) {
  test::writeFile(dir / "skin/common-body.css", "body { margin: 0 }");
  test::writeFile(dir / "skin/img/usb.png", "\x89PNG");
  test::writeFile(dir / "docs/fonts/SourceCodePro-Regular.ttf", "TTF!");
  test::writeFile(dir / "secret.txt", "secret");
  test::writeFile(dir / "docs/secret.txt", "secret");
  const std::string h = hostHeader();

  httpAnswer css = request(host->port(), "/skin/common-body.css", h);
  EXPECT_EQ(css.status, 200u);
  EXPECT_EQ(css.contentType, "text/css; charset=utf-8");
  EXPECT_EQ(css.body, "body { margin: 0 }");
  httpAnswer png = request(host->port(), "/skin/img/usb.png", h);
  EXPECT_EQ(png.contentType, "image/png");
  EXPECT_EQ(png.body, "\x89PNG");
  httpAnswer font = request(host->port(), "/docs/fonts/SourceCodePro-Regular.ttf", h);
  EXPECT_EQ(font.contentType, "font/ttf");
  EXPECT_EQ(font.body, "TTF!");

  for (const char* target :
       {"/skin/../secret.txt", "/skin/%2e%2e/secret.txt", "/skin/img%2fusb.png",
        "/skin//secret.txt", "/skin/common-body.css%00.png", "/docs/fonts/../secret.txt",
        "/docs/fonts/%2E%2E/%2E%2E/secret.txt", "/skin/img/", "/docs/secret.txt"}) {
    SCOPED_TRACE(target);
    httpAnswer answer = request(host->port(), target, h);
    EXPECT_EQ(answer.status, 404u);
    EXPECT_EQ(answer.body.find("secret"), std::string::npos);
  }
}

// Connections beyond the limit make room by dropping the untrusted one idle longest,
// so idle connections never lock a client out; one that sends nothing is closed after
// the idle time.
TEST(WebHostLimits, IdleConnectionsGoAndNeverLockOut) {
  test::logCapture log;
  recordingSink sink;
  webHostConfig config;
  config.idleTimeout = std::chrono::milliseconds(400);
  webHost host(config, sink);
  ASSERT_TRUE(host.start());
  net::io_context ioc;
  std::vector<tcp::socket> idle;
  for (std::size_t i = 0; i < maxHostConnections + 100; ++i) {
    idle.emplace_back(ioc);
    idle.back().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), host.port()));
  }
  std::string cookie = sessionFrom(host.launchUrl(), host.port());
  ASSERT_FALSE(cookie.empty());
  EXPECT_EQ(
      request(host.port(), "/", "127.0.0.1:" + std::to_string(host.port()), {{"Cookie", cookie}})
          .status,
      200u);
  // Every idle connection is closed by the host: the first ones to make room, the
  // rest after the idle time.
  auto start = std::chrono::steady_clock::now();
  std::size_t closed = 0;
  for (tcp::socket& s : idle) {
    char byte;
    beast::error_code ec;
    s.read_some(net::buffer(&byte, 1), ec);
    closed += ec == net::error::eof || ec == net::error::connection_reset;
  }
  EXPECT_EQ(closed, idle.size());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

// Out of descriptors, the host frees one and waits before the next accept instead of
// spinning on it; once descriptors are there again, a client gets in.
TEST(WebHostLimits, BacksOffWhenOutOfDescriptors) {
#ifdef ZV_SANITIZE
  // UndefinedBehaviorSanitizer checks a vtable through a pipe, which fails without a
  // free descriptor and is then reported as a fault of the code.
  GTEST_SKIP() << "needs free descriptors under the sanitizers";
#endif
  test::logCapture log;
  recordingSink sink;
  webHost host(webHostConfig{}, sink);
  ASSERT_TRUE(host.start());
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  rlimit saved{};
  ::getrlimit(RLIMIT_NOFILE, &saved);
  int open = 0;
  for (int fd = 0; fd < 4096; ++fd) open += ::fcntl(fd, F_GETFD) != -1;
  rlimit low = saved;
  low.rlim_cur = rlim_t(open + 10);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  pid_t child = ::fork();
  if (child == 0) {  // the clients, with descriptors of their own
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ::close(fds[1]);
    net::io_context ioc;
    std::vector<tcp::socket> held;
    for (int i = 0; i < 60; ++i) {
      held.emplace_back(ioc);
      beast::error_code ec;
      held.back().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), host.port()), ec);
    }
    char byte;
    (void)!::read(fds[0], &byte, 1);  // until the parent is done
    ::_exit(0);
  }
  ::close(fds[0]);
  timespec before{}, after{};
  std::this_thread::sleep_for(300ms);
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
  std::this_thread::sleep_for(1s);
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  double cpu = double(after.tv_sec - before.tv_sec) + double(after.tv_nsec - before.tv_nsec) / 1e9;
  EXPECT_LT(cpu, 0.3) << "the host spun on accept";
  std::string cookie = sessionFrom(host.launchUrl(), host.port());
  EXPECT_FALSE(cookie.empty());
  ::close(fds[1]);
  ::waitpid(child, nullptr, 0);
}

// While the console has more than maxQueuedFrames frames to handle, the host stops
// reading the WebSocket; it reads on once the console caught up, losing nothing.
TEST_F(WebHost, StopsReadingWhileTheConsoleIsBehind) {
  wsClient client(host->port(), session());
  ASSERT_TRUE(sink.waitFor([&] { return sink.attached == 1; }));
  sink.queued = maxQueuedFrames + 1;
  const std::string frame = R"({"t":"menuitem","w":1,"u":7})";
  for (int i = 0; i < 5; ++i) client.send(frame);
  ASSERT_TRUE(sink.waitFor([&] { return sink.messages.size() == 1; }));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(sink.read(sink.messages).size(), 1u);
  sink.queued = 0;
  EXPECT_TRUE(sink.waitFor([&] { return sink.messages.size() == 5; }));
}

// A TCP relay from a second local port to the console's, as `ssh -L` is: the browser
// names the relay's port in Host and Origin.
class relay {
 public:
  explicit relay(std::uint16_t target)
      : acceptor_(ioc_, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0)), target_(target) {
    accept();
    thread_ = std::thread([this] { ioc_.run(); });
  }
  ~relay() {
    ioc_.stop();
    thread_.join();
  }
  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

 private:
  struct pipe : std::enable_shared_from_this<pipe> {
    pipe(tcp::socket a, net::io_context& ioc) : left(std::move(a)), right(ioc) {}
    tcp::socket left, right;
    std::array<char, 16384> l2r{}, r2l{};
    void pump(tcp::socket& from, tcp::socket& to, std::array<char, 16384>& buf) {
      from.async_read_some(net::buffer(buf), [self = shared_from_this(), &from, &to, &buf](
                                                 beast::error_code ec, std::size_t n) {
        if (ec) {
          beast::error_code ignored;
          to.shutdown(tcp::socket::shutdown_send, ignored);
          return;
        }
        net::async_write(to, net::buffer(buf.data(), n),
                         [self, &from, &to, &buf](beast::error_code e, std::size_t) {
                           if (!e) self->pump(from, to, buf);
                         });
      });
    }
  };
  void accept() {
    acceptor_.async_accept([this](beast::error_code ec, tcp::socket s) {
      if (ec) return;
      auto p = std::make_shared<pipe>(std::move(s), ioc_);
      beast::error_code e;
      p->right.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), target_), e);
      if (!e) {
        p->pump(p->left, p->right, p->l2r);
        p->pump(p->right, p->left, p->r2l);
      }
      accept();
    });
  }
  net::io_context ioc_;
  tcp::acceptor acceptor_;
  std::uint16_t target_;
  std::thread thread_;
};

TEST_F(WebHost, WorksThroughAForwardedPort) {
  relay forward(host->port());
  std::string cookie = sessionFrom(host->launchUrl(), forward.port());
  ASSERT_FALSE(cookie.empty());
  std::string forwarded = "127.0.0.1:" + std::to_string(forward.port());
  EXPECT_EQ(request(forward.port(), "/", forwarded, {{"Cookie", cookie}}).status, 200u);
  wsClient client(forward.port(), cookie);
  ASSERT_TRUE(sink.waitFor([&] { return sink.attached == 1; }));
  host->send(R"({"t":"cursor","wait":true})");
  EXPECT_EQ(client.read(), R"({"t":"cursor","wait":true})");
}

// The host serves this machine only: other addresses are refused before binding.
TEST(WebHostStart, RefusesNonLoopbackAddresses) {
  test::logCapture log;
  recordingSink sink;
  for (const char* address : {"0.0.0.0", "::", "192.0.2.1", "not an address"}) {
    webHostConfig config;
    config.address = address;
    webHost host(config, sink);
    EXPECT_FALSE(host.start()) << address;
  }
  EXPECT_TRUE(log.contains("is not a loopback address"));
}

// The uid of the element with this id in a wire node; 0 when there is none.
std::uint64_t uidById(const json& node, std::string_view id) {
  for (const json& a : node.value("a", json::array()))
    if (a[0] == "id" && a[1] == id) return node["u"].get<std::uint64_t>();
  for (const json& kid : node.value("c", json::array()))
    if (kid.is_object())
      if (std::uint64_t uid = uidById(kid, id)) return uid;
  return 0;
}

// Over a real socket: the client gets the window when it attaches, its click reaches
// the window's handler on the user-interface thread, and the change comes back as a batch.
TEST(WindowHostOverSocket, ClickReachesTheHandlerAndTheBatchComesBack) {
  test::logCapture log;
  eventLoop loop;
  test::loopWatchdog guard(loop);
  windowHost windows(loop);
  webHost host(webHostConfig{}, windows);
  windows.setSender([&host](const json& frame) { host.send(frame); });
  ASSERT_TRUE(host.start());
  windowId main = windows.openWindow({"Zelvar Center", 800, 600, 0, false, {}, false},
                                     "<button id=save>Save</button><p id=status>idle</p>");
  std::optional<std::thread::id> handledOn;
  windows.setEventHandler(main, [&](uiEvent& e) {
    handledOn = std::this_thread::get_id();
    if (e.kind != eventKind::buttonClick || e.source != windows.doc(main)->byId("save"))
      return false;
    windows.doc(main)->byId("status")->setText("saved");
    return true;
  });

  wsClient client(host.port(), sessionFrom(host.launchUrl(), host.port()));
  ASSERT_TRUE(loop.runModal([&] { return windows.clientAttached(); }));
  json window = json::parse(client.read());
  ASSERT_EQ(window["t"], "window");
  EXPECT_EQ(window["w"], main);
  std::uint64_t save = uidById(window["root"], "save");
  std::uint64_t status = uidById(window["root"], "status");
  ASSERT_NE(save, 0u);

  client.send(json{
      {"t", "click"},
      {"w", main},
      {"u", save},
      {"mods", {{"ctrl", false}, {"shift", false}, {"alt", false}}},
      {"x", 4},
      {"y", 2}}.dump());
  ASSERT_TRUE(loop.runModal([&] { return handledOn.has_value(); }));
  EXPECT_EQ(*handledOn, std::this_thread::get_id());
  json batch = json::parse(client.read());
  EXPECT_EQ(batch["t"], "batch");
  EXPECT_EQ(batch["w"], main);
  ASSERT_EQ(batch["ops"].size(), 1u);
  EXPECT_EQ(batch["ops"][0]["u"], status);
  EXPECT_NE(batch["ops"][0].dump().find("saved"), std::string::npos);
}

}  // namespace
}  // namespace zv
