// The browser host's transport. This is the one translation unit that includes
// Boost.Beast and Asio: they compile slowly, so nothing else includes them.

#include "htmlview/webHost.h"

#include "htmlview/clientFrames.h"
#include "htmlview/webRoutes.h"
#include "platform/diagnostics.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <list>
#include <thread>

namespace zv {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr std::size_t maxRequestHeader = 16 * 1024;
// After a failed accept (out of descriptors) the host waits this long before the next.
constexpr auto acceptBackoff = std::chrono::milliseconds(100);
// How often a WebSocket whose reading paused looks whether the console caught up.
constexpr auto resumePoll = std::chrono::milliseconds(10);
// When the console ends, how long it waits for the client to answer the WebSocket's
// closing: the client must learn that the console ended and not just lost its line.
constexpr auto endingWait = std::chrono::milliseconds(1000);
// A frame larger than maxClientFrameBytes is read and thrown away; one larger than this
// ends the connection.
constexpr std::size_t maxIncomingMessage = 16 * 1024 * 1024;
// A client that stops reading is dropped before its queue eats the memory.
constexpr std::size_t maxPendingBytes = 64 * 1024 * 1024;
constexpr std::size_t readChunk = 64 * 1024;

class wsSession;

// What the host knows of every open connection, so that it can make room for a new
// one when the limit is reached.
struct trackedConnection {
  virtual ~trackedConnection() = default;
  // Closes the socket; the session's handlers then end it.
  virtual void drop() = 0;
  // A connection that showed a session cookie or is the WebSocket is never dropped to
  // make room.
  bool trusted = false;
  std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
  void touch() { lastActivity = std::chrono::steady_clock::now(); }
};

// Everything the I/O thread shares. Touched only on the I/O thread after start(),
// except `attached` and what start() sets before the thread exists.
struct hostCore {
  hostCore(webHostConfig c, hostSink& s) : config(std::move(c)), sink(s) {}

  webHostConfig config;
  hostSink& sink;
  consoleAccess access;
  std::unique_ptr<webRoutes> routes;
  std::uint16_t port = 0;
  net::io_context ioc{1};
  tcp::acceptor acceptor{ioc};
  net::steady_timer acceptTimer{ioc};
  std::list<std::weak_ptr<trackedConnection>> connections;
  bool acceptFailing = false;
  std::weak_ptr<wsSession> controller;
  std::atomic<bool> attached{false};

  void accept();
  void onAccept(beast::error_code ec, tcp::socket socket);
  // Room for one more connection: drops the untrusted one idle longest when the limit
  // is reached (or, with `always`, in any case). False when every connection is trusted.
  bool makeRoom(bool always = false);
  void track(const std::shared_ptr<trackedConnection>& c) { connections.push_back(c); }
  void deliver(const std::shared_ptr<const std::string>& frame);
  // A new WebSocket is open: it takes control or is told that another client has it.
  bool takeControl(const std::shared_ptr<wsSession>& session);
  void lostControl(const wsSession* session);
  // The console ends: the controlling client's WebSocket closes with endedCloseCode;
  // `done` runs once that closing is over (at once without a client).
  void endControl(std::function<void()> done);
};

class wsSession : public trackedConnection, public std::enable_shared_from_this<wsSession> {
 public:
  wsSession(tcp::socket&& socket, hostCore& core)
      : ws_(std::move(socket)), core_(core), resume_(core.ioc) {
    trusted = true;
  }

  void drop() override {
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().close(ignored);
  }

  void run(http::request<http::empty_body> request) {
    request_ = std::move(request);
    beast::get_lowest_layer(ws_).expires_never();
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& res) { res.set(http::field::server, "zvcenter"); }));
    ws_.read_message_max(maxIncomingMessage);
    ws_.async_accept(request_,
                     [self = shared_from_this()](beast::error_code ec) { self->onAccept(ec); });
  }

  // Queues a frame; I/O thread.
  void queue(std::shared_ptr<const std::string> frame) {
    if (closing_) return;
    pendingBytes_ += frame->size();
    if (pendingBytes_ > maxPendingBytes) {
      ZV_REPORT("web host: the client does not read its frames (%zu bytes waiting); closing",
                pendingBytes_);
      closing_ = true;
      beast::error_code ignored;
      beast::get_lowest_layer(ws_).socket().close(ignored);
      return;
    }
    queue_.push_back(std::move(frame));
    if (queue_.size() == 1) write();
  }

  // Closes the WebSocket because the console ends, once the frames queued so far are
  // written; `done` runs when the closing is over or failed. I/O thread.
  void end(std::function<void()> done) {
    if (closing_) {
      done();
      return;
    }
    ended_ = std::move(done);
    closeReason_ = websocket::close_reason(static_cast<websocket::close_code>(endedCloseCode),
                                           endedCloseReason);
    if (queue_.empty()) {
      close();
    } else {
      closeAfterWrite_ = true;
    }
  }

 private:
  void onAccept(beast::error_code ec) {
    if (ec) {
      logMessage("web host: WebSocket handshake failed: %s", ec.message().c_str());
      return;
    }
    if (!core_.takeControl(shared_from_this())) {
      // Another client controls the console: say so, then close.
      closeAfterWrite_ = true;
      closeReason_ = websocket::close_code::try_again_later;
      queue(std::make_shared<const std::string>(R"({"t":"inUse"})"));
      return;
    }
    controlling_ = true;
    read();
  }

  void read() {
    ws_.async_read_some(
        chunk_, readChunk,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
  }

  void onRead(beast::error_code ec) {
    if (ec) {
      if (ec != websocket::error::closed && ec != net::error::operation_aborted &&
          ec != net::error::eof && ec != net::error::connection_reset &&
          ec != net::error::not_connected)
        logMessage("web host: client connection ended: %s", ec.message().c_str());
      if (controlling_) core_.lostControl(this);
      return;
    }
    messageBytes_ += chunk_.size();
    if (messageBytes_ > maxClientFrameBytes) {
      message_.clear();
    } else {
      message_ += beast::buffers_to_string(chunk_.data());
    }
    chunk_.consume(chunk_.size());
    if (ws_.is_message_done()) {
      handleMessage();
      message_.clear();
      messageBytes_ = 0;
    }
    readWhenCaughtUp();
  }

  // While the console has more than maxQueuedFrames frames to handle, nothing more is
  // read: the client's frames wait in its own socket, not in the console's memory.
  void readWhenCaughtUp() {
    if (core_.sink.queuedFrames() <= maxQueuedFrames) {
      read();
      return;
    }
    resume_.expires_after(resumePoll);
    resume_.async_wait([self = shared_from_this()](beast::error_code ec) {
      if (!ec) self->readWhenCaughtUp();
    });
  }

  void handleMessage() {
    if (!ws_.got_text()) {
      logMessage("web host: dropped a binary frame of %zu bytes", messageBytes_);
      return;
    }
    if (messageBytes_ > maxClientFrameBytes) {
      logMessage("web host: dropped a client frame of %zu bytes (over the limit of %zu)",
                 messageBytes_, maxClientFrameBytes);
      return;
    }
    checkedFrame checked = parseClientFrame(message_);
    if (!checked.frame) {
      // The frame's text is not logged: it may hold what was typed into a password.
      logMessage("web host: dropped a client frame: %s", checked.problem.c_str());
      return;
    }
    try {
      core_.sink.onMessage(*checked.frame);
    } catch (const std::exception& e) {
      ZV_REPORT("web host: the console failed on a client frame: %s", e.what());
    }
  }

  void write() {
    ws_.text(true);
    ws_.async_write(
        net::buffer(*queue_.front()),
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onWrite(ec); });
  }

  void onWrite(beast::error_code ec) {
    if (ec) {
      queue_.clear();
      pendingBytes_ = 0;
      if (ended_) std::exchange(ended_, nullptr)();
      return;  // the read side notices the broken connection
    }
    pendingBytes_ -= queue_.front()->size();
    queue_.pop_front();
    if (!queue_.empty()) {
      write();
    } else if (closeAfterWrite_) {
      close();
    }
  }

  void close() {
    closing_ = true;
    ws_.async_close(closeReason_, [self = shared_from_this()](beast::error_code) {
      if (self->ended_) std::exchange(self->ended_, nullptr)();
    });
  }

  websocket::stream<beast::tcp_stream> ws_;
  hostCore& core_;
  http::request<http::empty_body> request_;
  beast::flat_buffer chunk_;
  std::string message_;
  std::size_t messageBytes_ = 0;
  std::deque<std::shared_ptr<const std::string>> queue_;
  std::size_t pendingBytes_ = 0;
  bool controlling_ = false;
  bool closeAfterWrite_ = false;
  bool closing_ = false;
  websocket::close_reason closeReason_;
  std::function<void()> ended_;  // while closing because the console ends
  net::steady_timer resume_;
};

class httpSession : public trackedConnection, public std::enable_shared_from_this<httpSession> {
 public:
  httpSession(tcp::socket&& socket, hostCore& core)
      : stream_(std::move(socket)), core_(core), buffer_(maxRequestHeader * 2) {}

  void run() {
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->read(); });
  }

  void drop() override {
    beast::error_code ignored;
    stream_.socket().close(ignored);
  }

 private:
  void read() {
    parser_.emplace();
    parser_->header_limit(maxRequestHeader);
    parser_->body_limit(0);
    // The whole request header within the idle time: a connection that sends nothing,
    // or a header a byte at a time, is closed.
    stream_.expires_after(core_.config.idleTimeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onRead(ec); });
  }

  void onRead(beast::error_code ec) {
    if (ec) {
      beast::error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
      stream_.socket().close(ignored);
      return;
    }
    touch();
    http::request<http::empty_body> request = parser_->release();
    auto field = [&](http::field name) {
      auto value = request[name];
      return std::string_view(value.data(), value.size());
    };
    std::string cookies;
    for (auto it = request.find(http::field::cookie);
         it != request.end() && it->name() == http::field::cookie; ++it) {
      if (!cookies.empty()) cookies += "; ";
      cookies.append(it->value().data(), it->value().size());
    }
    webRequest req;
    req.method = std::string_view(request.method_string().data(), request.method_string().size());
    req.target = std::string_view(request.target().data(), request.target().size());
    req.host = field(http::field::host);
    req.hostCount = int(request.count(http::field::host));
    req.origin = field(http::field::origin);
    req.originCount = int(request.count(http::field::origin));
    req.cookie = cookies;
    req.peerUid = [this]() -> std::optional<uid_t> {
      beast::error_code e1, e2;
      tcp::endpoint client = stream_.socket().remote_endpoint(e1);
      tcp::endpoint server = stream_.socket().local_endpoint(e2);
      if (e1 || e2) return std::nullopt;
      return tcpClientOwner(client.address().to_string(), client.port(),
                            server.address().to_string(), server.port());
    };
    if (websocket::is_upgrade(request)) {
      std::string why = core_.routes->refuseUpgrade(req);
      if (!why.empty()) {
        logMessage("web host: WebSocket refused: %s", why.c_str());
        webReply reply;
        reply.status = 403;
        reply.contentType = "text/plain; charset=utf-8";
        reply.body = "Forbidden\n";
        respond(std::move(reply), request.version(), false);
        return;
      }
      auto session = std::make_shared<wsSession>(stream_.release_socket(), core_);
      core_.track(session);
      session->run(std::move(request));
      return;
    }
    webReply reply = core_.routes->answer(req);
    trusted = trusted || reply.trusted;
    if (reply.status == 403 || reply.status == 400)
      logMessage("web host: refused %.*s %.*s", int(req.method.size()), req.method.data(),
                 int(std::min<std::size_t>(req.target.find('?'), req.target.size())),
                 req.target.data());
    respond(std::move(reply), request.version(), request.keep_alive());
  }

  template <class Body>
  void prepare(http::response<Body>& res, const webReply& reply, bool keepAlive) {
    res.set(http::field::server, "zvcenter");
    res.set(http::field::content_type, reply.contentType);
    res.set("X-Content-Type-Options", "nosniff");
    res.set("Referrer-Policy", "no-referrer");
    for (const auto& [name, value] : reply.headers) res.insert(name, value);
    res.keep_alive(keepAlive);
    res.prepare_payload();
  }

  template <class Body>
  void write(std::shared_ptr<http::response<Body>> res) {
    stream_.expires_after(core_.config.writeTimeout);
    http::async_write(stream_, *res,
                      [self = shared_from_this(), res](beast::error_code ec, std::size_t) {
                        self->onWrite(ec, res->keep_alive());
                      });
  }

  // The body goes out without a copy: compiled-in bytes as they are, files streamed
  // from their descriptor a few kilobytes at a time.
  void respond(webReply reply, unsigned version, bool keepAlive) {
    auto status = static_cast<http::status>(reply.status);
    if (reply.file.fd() >= 0) {
      auto res = std::make_shared<http::response<http::file_body>>(status, version);
      beast::file f;
      f.native_handle(reply.file.release());
      beast::error_code ec;
      res->body().reset(std::move(f), ec);
      if (ec) {
        webReply failed;
        failed.status = 500;
        failed.contentType = "text/plain; charset=utf-8";
        failed.body = "Internal error\n";
        respond(std::move(failed), version, false);
        return;
      }
      prepare(*res, reply, keepAlive);
      write(res);
    } else if (!reply.staticBody.empty()) {
      auto res = std::make_shared<http::response<http::span_body<const char>>>(status, version);
      res->body() =
          http::span_body<const char>::value_type(reply.staticBody.data(), reply.staticBody.size());
      prepare(*res, reply, keepAlive);
      write(res);
    } else {
      auto res = std::make_shared<http::response<http::string_body>>(status, version);
      res->body() = std::move(reply.body);
      prepare(*res, reply, keepAlive);
      write(res);
    }
  }

  void onWrite(beast::error_code ec, bool keepAlive) {
    touch();
    if (!ec && keepAlive) {
      read();
      return;
    }
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.socket().close(ignored);
  }

  beast::tcp_stream stream_;
  hostCore& core_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
};

void hostCore::accept() {
  acceptor.async_accept(
      [this](beast::error_code ec, tcp::socket socket) { onAccept(ec, std::move(socket)); });
}

void hostCore::onAccept(beast::error_code ec, tcp::socket socket) {
  if (ec == net::error::operation_aborted) return;
  if (ec) {
    // Out of descriptors (or memory): free one and wait a little instead of trying
    // again at once, which would only spin.
    if (!acceptFailing)
      logMessage("web host: accept failed: %s; waiting before the next", ec.message().c_str());
    acceptFailing = true;
    makeRoom(true);
    acceptTimer.expires_after(acceptBackoff);
    acceptTimer.async_wait([this](beast::error_code e) {
      if (!e) accept();
    });
    return;
  }
  acceptFailing = false;
  if (makeRoom()) {
    auto session = std::make_shared<httpSession>(std::move(socket), *this);
    track(session);
    session->run();
  } else {
    beast::error_code ignored;
    socket.close(ignored);
  }
  accept();
}

bool hostCore::makeRoom(bool always) {
  connections.remove_if([](const std::weak_ptr<trackedConnection>& c) { return c.expired(); });
  if (!always && connections.size() < maxHostConnections) return true;
  std::shared_ptr<trackedConnection> oldest;
  for (const auto& weak : connections) {
    auto c = weak.lock();
    if (c && !c->trusted && (!oldest || c->lastActivity < oldest->lastActivity)) oldest = c;
  }
  if (!oldest) return false;
  oldest->drop();
  connections.remove_if(
      [&](const std::weak_ptr<trackedConnection>& c) { return c.lock() == oldest; });
  return true;
}

void hostCore::deliver(const std::shared_ptr<const std::string>& frame) {
  if (auto session = controller.lock()) session->queue(frame);
}

bool hostCore::takeControl(const std::shared_ptr<wsSession>& session) {
  if (controller.lock()) return false;
  controller = session;
  attached = true;
  logMessage("web host: a browser client attached");
  try {
    sink.onClientAttached();
  } catch (const std::exception& e) {
    ZV_REPORT("web host: the console failed on attach: %s", e.what());
  }
  return true;
}

void hostCore::lostControl(const wsSession* session) {
  if (controller.lock().get() != session) return;
  controller.reset();
  attached = false;
  logMessage("web host: the browser client detached");
  try {
    sink.onClientDetached();
  } catch (const std::exception& e) {
    ZV_REPORT("web host: the console failed on detach: %s", e.what());
  }
}

void hostCore::endControl(std::function<void()> done) {
  if (auto session = controller.lock()) {
    session->end(std::move(done));
  } else {
    done();
  }
}

bool isLoopback(const net::ip::address& address) {
  return address.is_loopback();
}

}  // namespace

struct webHost::impl {
  impl(webHostConfig config, hostSink& sink) : core(std::move(config), sink) {}
  hostCore core;
  std::thread thread;
  bool started = false;
};

webHost::webHost(webHostConfig config, hostSink& sink)
    : impl_(std::make_unique<impl>(std::move(config), sink)) {}

webHost::~webHost() {
  if (!impl_->started) return;
  hostCore& core = impl_->core;
  try {
    auto closed = std::make_shared<std::promise<void>>();
    std::future<void> over = closed->get_future();
    net::post(core.ioc, [&core, closed] { core.endControl([closed] { closed->set_value(); }); });
    if (over.wait_for(endingWait) != std::future_status::ready)
      logMessage("web host: the browser client did not answer the closing in time");
  } catch (const std::exception& e) {
    // Without the closing the page only takes the console for lost.
    ZV_REPORT("web host: cannot close the client's connection: %s", e.what());
  }
  core.ioc.stop();
  impl_->thread.join();
}

bool webHost::start() {
  hostCore& core = impl_->core;
  if (impl_->started) return true;
  beast::error_code ec;
  auto address = net::ip::make_address(core.config.address, ec);
  if (ec || !isLoopback(address)) {
    ZV_REPORT("web host: \"%s\" is not a loopback address; the host serves only this machine",
              core.config.address.c_str());
    return false;
  }
  tcp::endpoint endpoint(address, core.config.port);
  core.acceptor.open(endpoint.protocol(), ec);
  if (!ec) core.acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) core.acceptor.bind(endpoint, ec);
  if (!ec) core.acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    ZV_REPORT("web host: cannot listen on %s port %u: %s", core.config.address.c_str(),
              unsigned(core.config.port), ec.message().c_str());
    beast::error_code ignored;
    core.acceptor.close(ignored);
    return false;
  }
  core.port = core.acceptor.local_endpoint().port();
  webRoutesConfig routes;
  routes.address = address.to_string();
  routes.port = core.port;
  routes.skinDirectory = core.config.skinDirectory;
  routes.docsDirectory = core.config.docsDirectory;
  routes.clientDirectory = core.config.clientDirectory;
  core.routes = std::make_unique<webRoutes>(std::move(routes), core.access);
  core.accept();
  impl_->thread = std::thread([&core] {
    while (true) {
      try {
        core.ioc.run();
        return;
      } catch (const std::exception& e) {
        ZV_REPORT("web host: %s", e.what());
      }
    }
  });
  impl_->started = true;
  logMessage("web host: listening on %s port %u", core.config.address.c_str(), unsigned(core.port));
  return true;
}

std::uint16_t webHost::port() const {
  return impl_->core.port;
}

std::string webHost::launchUrl(std::optional<uid_t> onlyFor) {
  if (!impl_->core.routes) return {};
  std::string secret = impl_->core.access.newLaunchSecret(onlyFor);
  return secret.empty() ? std::string() : impl_->core.routes->pageUrl(secret);
}

bool webHost::clientAttached() const {
  return impl_->core.attached;
}

void webHost::send(std::string frame) {
  if (!impl_->started) return;
  auto shared = std::make_shared<const std::string>(std::move(frame));
  hostCore& core = impl_->core;
  net::post(core.ioc, [&core, shared] { core.deliver(shared); });
}

void webHost::send(const nlohmann::json& frame) {
  send(frame.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

}  // namespace zv
