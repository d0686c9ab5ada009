// Load on the browser host: 1,000 connections that send nothing are held open (each one
// the host closes is opened again) while a real client takes a launch address, loads
// the page, its script and style sheet, attaches its WebSocket and clicks a button
// 50 times. Reports the page load, the click round trips (click to the batch that it
// caused) and the process's memory. It reports; it never fails on speed.
//
// Target: each click answered within 200 ms; resident memory under 64 MiB.

#include "htmlview/webHost.h"
#include "htmlview/windowHost.h"
#include "platform/eventLoop.h"

#include <sys/resource.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using json = nlohmann::json;
using steady = std::chrono::steady_clock;

namespace {

constexpr int idleConnections = 1000;
constexpr int clicks = 50;

long memoryKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  return -1;
}

double ms(steady::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

std::uint64_t uidById(const json& node, std::string_view id) {
  for (const json& a : node.value("a", json::array()))
    if (a[0] == "id" && a[1] == id) return node["u"].get<std::uint64_t>();
  for (const json& kid : node.value("c", json::array()))
    if (kid.is_object())
      if (std::uint64_t uid = uidById(kid, id)) return uid;
  return 0;
}

http::response<http::string_body> get(std::uint16_t port, const std::string& target,
                                      const std::string& cookie) {
  net::io_context ioc;
  beast::tcp_stream stream(ioc);
  stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
  http::request<http::empty_body> req(http::verb::get, target, 11);
  req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
  if (!cookie.empty()) req.set(http::field::cookie, cookie);
  http::write(stream, req);
  beast::flat_buffer buffer;
  http::response<http::string_body> res;
  http::read(stream, buffer, res);
  return res;
}

}  // namespace

int main() {
  rlimit files{};
  ::getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 4096));
  ::setrlimit(RLIMIT_NOFILE, &files);

  zv::eventLoop loop;
  zv::windowHost windows(loop);
  zv::webHost host(zv::webHostConfig{}, windows);
  windows.setSender([&host](const json& frame) { host.send(frame); });
  if (!host.start()) return 1;
  zv::windowId main = windows.openWindow({"Zelvar Center", 800, 600, 0, false, {}, false},
                                         "<button id=save>Save</button><p id=status>0</p>");
  int count = 0;
  windows.setEventHandler(main, [&](zv::uiEvent& e) {
    if (e.kind != zv::eventKind::buttonClick) return false;
    windows.doc(main)->byId("status")->setText(std::to_string(++count));
    return true;
  });
  std::atomic<bool> done{false};

  // The idle load: connections that never send a byte, reopened when the host closes them.
  std::atomic<long> reopened{0};
  std::thread idle([&] {
    net::io_context ioc;
    std::vector<std::unique_ptr<tcp::socket>> sockets;
    std::vector<char> bytes(idleConnections);
    std::function<void(std::size_t)> hold = [&](std::size_t i) {
      sockets[i] = std::make_unique<tcp::socket>(ioc);
      beast::error_code ec;
      sockets[i]->connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), host.port()), ec);
      sockets[i]->async_read_some(net::buffer(&bytes[i], 1),
                                  [&, i](beast::error_code, std::size_t) {
                                    if (done) return;
                                    ++reopened;
                                    hold(i);
                                  });
    };
    sockets.resize(idleConnections);
    for (std::size_t i = 0; i < std::size_t(idleConnections); ++i) hold(i);
    while (!done) ioc.run_for(std::chrono::milliseconds(100));
  });
  // The client runs on its own thread; this one is the console's user-interface thread.
  std::thread client([&] {
    std::this_thread::sleep_for(std::chrono::seconds(1));

    auto loadStart = steady::now();
    std::string url = host.launchUrl();
    auto first = get(host.port(), url.substr(url.find("/?token=")), "");
    std::string setCookie(first[http::field::set_cookie]);
    std::string cookie = setCookie.substr(0, setCookie.find(';'));
    auto page = get(host.port(), "/", cookie);
    auto script = get(host.port(), "/client.js", cookie);
    auto style = get(host.port(), "/client.css", cookie);
    net::io_context ioc;
    websocket::stream<beast::tcp_stream> ws(ioc);
    std::string hostName = "127.0.0.1:" + std::to_string(host.port());
    beast::get_lowest_layer(ws).connect(
        tcp::endpoint(net::ip::make_address("127.0.0.1"), host.port()));
    ws.set_option(websocket::stream_base::decorator([&](websocket::request_type& req) {
      req.set(http::field::origin, "http://" + hostName);
      req.set(http::field::cookie, cookie);
    }));
    ws.handshake(hostName, "/ws");
    beast::flat_buffer buffer;
    ws.read(buffer);
    json window = json::parse(beast::buffers_to_string(buffer.data()));
    double loadMs = ms(steady::now() - loadStart);
    std::uint64_t save = uidById(window["root"], "save");

    std::vector<double> latencies;
    for (int i = 0; i < clicks; ++i) {
      auto start = steady::now();
      ws.write(net::buffer(json{
          {"t", "click"},
          {"w", main},
          {"u", save},
          {"mods", {{"ctrl", false}, {"shift", false}, {"alt", false}}},
          {"x", 1},
          {"y", 1}}.dump()));
      while (true) {
        buffer.clear();
        ws.read(buffer);
        if (json::parse(beast::buffers_to_string(buffer.data()))["t"] == "batch") break;
      }
      latencies.push_back(ms(steady::now() - start));
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("idle connections held: %d (reopened after the host closed them: %ld)\n",
                idleConnections, reopened.load());
    std::printf("page: %u, script: %u, style sheet: %u; launch to attached window: %.1f ms\n",
                page.result_int(), script.result_int(), style.result_int(), loadMs);
    std::printf("click round trip over %d clicks: median %.2f ms, max %.2f ms (target 200 ms)\n",
                clicks, latencies[latencies.size() / 2], latencies.back());
    std::printf("memory: resident %ld KiB, peak %ld KiB (target under 65536 KiB)\n",
                memoryKb("VmRSS:"), memoryKb("VmHWM:"));
    done = true;
    loop.wake();
  });
  loop.runModal([&] { return done.load(); });
  client.join();
  idle.join();
  return 0;
}
