#include "htmlview/webRoutes.h"

#include "htmlview/clientFiles.h"
#include "testsupport/testSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

namespace zv {
namespace {

// Paths that stay inside the served directory are decoded; everything that could
// leave it or name something odd is refused.
TEST(WebRoutes, SafeRelativePaths) {
  const std::pair<const char*, const char*> accepted[] = {
      {"a.css", "a.css"},      {"img/usb.png", "img/usb.png"}, {"img/a%20b.png", "img/a b.png"},
      {"%D1%84.png", "ф.png"}, {"a..b.css", "a..b.css"},
  };
  for (const auto& [encoded, decoded] : accepted) {
    SCOPED_TRACE(encoded);
    auto path = safeRelativePath(encoded);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, decoded);
  }
  const char* refused[] = {
      "",
      "/etc/passwd",
      "../secret",
      "img/../../secret",
      "%2e%2e/secret",
      "img/..",
      "./a.css",
      ".hidden",
      "img//a.png",
      "img/",
      "img%2fa.png",
      "img%2Fa.png",
      "img%5ca.png",
      "img\\a.png",
      "a.css%00.png",
      "a%0a.css",
      "a%zz.css",
      "a%2",
      "a%",
  };
  for (const char* encoded : refused) {
    SCOPED_TRACE(encoded);
    EXPECT_FALSE(safeRelativePath(encoded).has_value());
  }
}

TEST(WebRoutes, ContentTypesByExtension) {
  EXPECT_EQ(contentTypeFor("a.CSS"), "text/css; charset=utf-8");
  EXPECT_EQ(contentTypeFor("fonts/SourceCodePro-Bold.ttf"), "font/ttf");
  EXPECT_EQ(contentTypeFor("img/x.PNG"), "image/png");
  EXPECT_EQ(contentTypeFor("client.js"), "text/javascript; charset=utf-8");
  EXPECT_EQ(contentTypeFor("help.htm"), "text/html; charset=utf-8");
  EXPECT_EQ(contentTypeFor("README"), "application/octet-stream");
  EXPECT_EQ(contentTypeFor("dir.d/README"), "application/octet-stream");
  EXPECT_EQ(contentTypeFor("x.exe"), "application/octet-stream");
}

TEST(WebRoutes, QueryParameters) {
  EXPECT_EQ(queryParameter("/ws?token=ab12", "token"), "ab12");
  EXPECT_EQ(queryParameter("/?x=1&token=a%62c&token=zz", "token"), "abc");
  EXPECT_EQ(queryParameter("/?tok%65n=q+r", "token"), "q r");
  EXPECT_EQ(queryParameter("/?token", "token"), "");
  EXPECT_FALSE(queryParameter("/ws", "token").has_value());
  EXPECT_FALSE(queryParameter("/ws?tokens=1", "token").has_value());
  EXPECT_FALSE(queryParameter("/ws?token=%g1", "token").has_value());
}

// Tokens are 64 hexadecimal digits, different each time.
TEST(WebRoutes, AccessTokens) {
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    std::string t = makeAccessToken();
    ASSERT_EQ(t.size(), 64u);
    EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos);
    seen.insert(t);
  }
  EXPECT_EQ(seen.size(), 20u);
  EXPECT_TRUE(sameToken("abc", "abc"));
  EXPECT_FALSE(sameToken("abc", "abd"));
  EXPECT_FALSE(sameToken("abc", "abcd"));
  EXPECT_FALSE(sameToken("", ""));
}

class WebRoutesAnswers : public ::testing::Test {
 protected:
  WebRoutesAnswers() : routes(makeConfig(), access) {}
  webRoutesConfig makeConfig() {
    test::writeFile(dir / "skin/common-body.css", "body{}");
    test::writeFile(dir / "secret.txt", "do not serve");
    test::writeFile(dir / "docs/fonts/fontello.ttf", "TTF");
    webRoutesConfig c;
    c.address = "127.0.0.1";
    c.port = 4321;
    c.skinDirectory = dir / "skin/";
    c.docsDirectory = dir / "docs/";
    return c;
  }
  webReply get(std::string_view target, std::string_view cookie = {},
               std::string_view host = "127.0.0.1:4321") {
    webRequest r;
    r.target = target;
    r.host = host;
    r.cookie = cookie;
    r.peerUid = [this] { return peer; };
    return routes.answer(r);
  }
  static std::string header(const webReply& r, std::string_view name) {
    for (const auto& [n, v] : r.headers)
      if (n == name) return v;
    return {};
  }
  test::tempDir dir;
  consoleAccess access;
  webRoutes routes;
  std::optional<uid_t> peer;
};

// Any port on the loopback names (an SSH forward from another local port), never
// another name; the Origin must be the page's own for the same Host.
TEST_F(WebRoutesAnswers, HostsAndOrigins) {
  for (const char* host : {"127.0.0.1:4321", "127.0.0.1:2222", "LocalHost:9", "localhost",
                           "[::1]:8779", "127.0.0.1", "127.0.0.1:65535"})
    EXPECT_TRUE(routes.hostAllowed(host)) << host;
  for (const char* host : {"", "evil.example:4321", "127.0.0.1:0", "127.0.0.1:65536",
                           "127.0.0.1:", "127.0.0.1:80x", "127.0.0.1.evil.example:80",
                           "localhost.:80", "127.0.0.2:80", "[::1]x:80", "127.0.0.1:4321:1"})
    EXPECT_FALSE(routes.hostAllowed(host)) << host;
  EXPECT_TRUE(routes.originAllowed("http://127.0.0.1:2222", "127.0.0.1:2222"));
  EXPECT_TRUE(routes.originAllowed("http://LOCALHOST:9", "localhost:9"));
  EXPECT_FALSE(routes.originAllowed("http://127.0.0.1:9999", "127.0.0.1:4321"));
  EXPECT_FALSE(routes.originAllowed("https://127.0.0.1:4321", "127.0.0.1:4321"));
  EXPECT_FALSE(routes.originAllowed("http://localhost:4321", "127.0.0.1:4321"));
  EXPECT_FALSE(routes.originAllowed("null", "127.0.0.1:4321"));
  EXPECT_FALSE(routes.originAllowed("http://evil.example:4321", "evil.example:4321"));
  EXPECT_EQ(routes.pageUrl("ab"), "http://127.0.0.1:4321/?token=ab");

  webRoutesConfig v6;
  v6.address = "::1";
  v6.port = 80;
  EXPECT_EQ(webRoutes(v6, access).pageUrl("x"), "http://[::1]:80/?token=x");
  webRoutesConfig other;
  other.address = "127.0.0.5";
  EXPECT_TRUE(webRoutes(other, access).hostAllowed("127.0.0.5:80"));
}

// A launch secret opens the console once: the first request gets the cookie and a
// redirect to an address without the secret; the same secret again is refused unless
// the browser already holds a session. The page and the WebSocket need the cookie.
TEST_F(WebRoutesAnswers, LaunchSecretBecomesASessionCookie) {
  std::string secret = access.newLaunchSecret();
  ASSERT_EQ(secret.size(), 64u);
  EXPECT_EQ(get("/").status, 403);
  webReply first = get("/?token=" + secret);
  EXPECT_EQ(first.status, 303);
  EXPECT_EQ(header(first, "Location"), "/");
  std::string cookie = header(first, "Set-Cookie");
  ASSERT_TRUE(cookie.starts_with("zvsession=")) << cookie;
  EXPECT_TRUE(cookie.ends_with("; Path=/; HttpOnly; SameSite=Strict")) << cookie;
  EXPECT_EQ(cookie.find("Domain"), std::string::npos);
  std::string session = cookie.substr(10, 64);
  EXPECT_NE(session, secret);
  const std::string jar = "other=1; zvsession=" + session;

  webReply replay = get("/?token=" + secret);
  EXPECT_EQ(replay.status, 403);
  EXPECT_EQ(header(replay, "Set-Cookie"), "");
  EXPECT_NE(replay.body.find("zvctl console url"), std::string::npos);
  webReply again = get("/?token=" + secret, jar);  // the same browser reopens the address
  EXPECT_EQ(again.status, 303);
  EXPECT_EQ(header(again, "Set-Cookie"), "");

  webReply page = get("/", jar, "localhost:2222");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.bodyText(), clientFile("index.html"));
  EXPECT_NE(header(page, "Content-Security-Policy").find("connect-src 'self' ws://localhost:2222;"),
            std::string::npos);
  EXPECT_EQ(get("/", "zvsession=" + std::string(64, '0')).status, 403);
  EXPECT_EQ(get("/", jar, "attacker.example:4321").status, 403);

  webRequest ws;
  ws.target = "/ws";
  ws.host = "127.0.0.1:2222";
  ws.origin = "http://127.0.0.1:2222";
  ws.originCount = 1;
  ws.cookie = jar;
  EXPECT_EQ(routes.refuseUpgrade(ws), "");
  webRequest noCookie = ws;
  noCookie.cookie = "";
  EXPECT_EQ(routes.refuseUpgrade(noCookie), "no valid session cookie");
  webRequest otherOrigin = ws;
  otherOrigin.origin = "http://127.0.0.1:9999";
  EXPECT_EQ(routes.refuseUpgrade(otherOrigin), "foreign or missing Origin");
  webRequest twoOrigins = ws;
  twoOrigins.originCount = 2;
  EXPECT_EQ(routes.refuseUpgrade(twoOrigins), "foreign or missing Origin");
  webRequest twoHosts = ws;
  twoHosts.hostCount = 2;
  EXPECT_EQ(routes.refuseUpgrade(twoHosts), "foreign Host header");
  webRequest path = ws;
  path.target = "/ws/";
  EXPECT_EQ(routes.refuseUpgrade(path), "not the WebSocket path");
  webRequest secretOnly = noCookie;
  const std::string withSecret = "/ws?token=" + access.newLaunchSecret();
  secretOnly.target = withSecret;
  EXPECT_EQ(routes.refuseUpgrade(secretOnly), "no valid session cookie");

  webRequest twice;
  twice.target = "/client.js";
  twice.host = "127.0.0.1:4321";
  twice.hostCount = 2;
  EXPECT_EQ(routes.answer(twice).status, 400);
  twice.method = "POST";
  EXPECT_EQ(routes.answer(twice).status, 405);
}

// A secret made for the console's own browser opens only from that browser's uid;
// presented from another uid it is refused and stays valid for its owner. Unused
// secrets expire.
TEST_F(WebRoutesAnswers, BoundAndExpiringSecrets) {
  std::string bound = access.newLaunchSecret(uid_t(1000));
  peer = 65534;
  EXPECT_EQ(get("/?token=" + bound).status, 403);
  peer = std::nullopt;
  EXPECT_EQ(get("/?token=" + bound).status, 403);
  peer = 1000;
  EXPECT_EQ(get("/?token=" + bound).status, 303);
  EXPECT_EQ(get("/?token=" + bound).status, 403);

  auto now = consoleAccess::clock::now();
  access.setClock([&] { return now; });
  std::string late = access.newLaunchSecret();
  now += launchSecretLifetime + std::chrono::seconds(1);
  EXPECT_EQ(get("/?token=" + late).status, 403);
  // Only the newest secrets wait.
  std::vector<std::string> many;
  for (std::size_t i = 0; i < maxLaunchSecrets + 1; ++i) many.push_back(access.newLaunchSecret());
  EXPECT_EQ(get("/?token=" + many.front()).status, 403);
  EXPECT_EQ(get("/?token=" + many.back()).status, 303);
  EXPECT_EQ(sessionCookies("a=1;zvsession=x ; zvsession=y;zvsessionz=q"),
            (std::vector<std::string>{"x", "y"}));
}

// Script and style sheet are the compiled-in client files; skin and fonts are regular
// files of their directories reached without a link; nothing else.
TEST_F(WebRoutesAnswers, Routes) {
  webReply script = get("/client.js");
  EXPECT_EQ(script.status, 200);
  EXPECT_EQ(script.contentType, "text/javascript; charset=utf-8");
  EXPECT_EQ(script.bodyText(), clientFile("client.js"));
  EXPECT_EQ(script.staticBody.data(), clientFile("client.js").data());  // not a copy
  // Every module the client imports, directly or not, is served as a script.
  std::vector<std::string> modules{"client.js"};
  for (size_t i = 0; i < modules.size(); ++i) {
    std::string body = get("/" + modules[i]).bodyText();
    static const std::regex from(R"(from '\./([A-Za-z]+\.js)')");
    for (std::sregex_iterator m(body.begin(), body.end(), from), end; m != end; ++m) {
      std::string name = (*m)[1];
      if (std::find(modules.begin(), modules.end(), name) != modules.end()) continue;
      webReply module = get("/" + name);
      EXPECT_EQ(module.status, 200) << name;
      EXPECT_EQ(module.contentType, "text/javascript; charset=utf-8") << name;
      modules.push_back(name);
    }
  }
  EXPECT_GE(modules.size(), 5u);
  EXPECT_EQ(get("/client.test.js").status, 404);

  webReply css = get("/skin/common-body.css?v=2");
  EXPECT_EQ(css.status, 200);
  EXPECT_EQ(css.bodyText(), "body{}");
  EXPECT_EQ(get("/docs/fonts/fontello.ttf").contentType, "font/ttf");

  ASSERT_EQ(::symlink((dir / "secret.txt").c_str(), (dir / "skin/link.css").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "").c_str(), (dir / "skin/up").c_str()), 0);
  ASSERT_EQ(::mkfifo((dir / "skin/pipe.css").c_str(), 0644), 0);
  ASSERT_EQ(::mkdir((dir / "skin/dir.css").c_str(), 0755), 0);
  for (const char* target :
       {"/skin/../secret.txt", "/skin/", "/docs/secret.txt", "/index.html", "/skin/link.css",
        "/skin/up/secret.txt", "/skin/pipe.css", "/skin/dir.css"}) {
    SCOPED_TRACE(target);
    webReply r = get(target);
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.bodyText().find("do not serve"), std::string::npos);
  }
  EXPECT_FALSE(readFileBeneath(dir / "skin/", "link.css"));
  EXPECT_EQ(readFileBeneath(dir / "skin/", "common-body.css"), "body{}");

  // A client directory replaces the compiled-in files.
  webRoutesConfig c = routes.config();
  test::writeFile(dir / "client/client.js", "// working copy");
  c.clientDirectory = dir / "client/";
  webRequest r;
  r.target = "/client.js";
  r.host = "127.0.0.1:4321";
  EXPECT_EQ(webRoutes(c, access).answer(r).bodyText(), "// working copy");
}

}  // namespace
}  // namespace zv
