#include "htmlview/webRoutes.h"

#include "htmlview/clientFiles.h"
#include "testsupport/testSupport.h"

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
  WebRoutesAnswers() : routes(makeConfig()) {}
  webRoutesConfig makeConfig() {
    test::writeFile(dir / "skin/common-body.css", "body{}");
    test::writeFile(dir / "secret.txt", "do not serve");
    test::writeFile(dir / "docs/fonts/fontello.ttf", "TTF");
    webRoutesConfig c;
    c.address = "127.0.0.1";
    c.port = 4321;
    c.token = "00ff";
    c.skinDirectory = dir / "skin/";
    c.docsDirectory = dir / "docs/";
    return c;
  }
  test::tempDir dir;
  webRoutes routes;
};

// The host names that reach the console, and the page's own origins, are the only ones
// accepted; the address and port must both match.
TEST_F(WebRoutesAnswers, HostsAndOrigins) {
  EXPECT_EQ(routes.pageUrl(), "http://127.0.0.1:4321/?token=00ff");
  EXPECT_TRUE(routes.hostAllowed("127.0.0.1:4321"));
  EXPECT_TRUE(routes.hostAllowed("LocalHost:4321"));
  EXPECT_FALSE(routes.hostAllowed("127.0.0.1:4322"));
  EXPECT_FALSE(routes.hostAllowed("127.0.0.1"));
  EXPECT_FALSE(routes.hostAllowed("evil.example:4321"));
  EXPECT_FALSE(routes.hostAllowed(""));
  EXPECT_TRUE(routes.originAllowed("http://localhost:4321"));
  EXPECT_FALSE(routes.originAllowed("https://127.0.0.1:4321"));
  EXPECT_FALSE(routes.originAllowed("http://127.0.0.1:4321.evil.example"));
  EXPECT_FALSE(routes.originAllowed("null"));

  EXPECT_EQ(routes.refuseUpgrade("/ws?token=00ff", "127.0.0.1:4321", "http://127.0.0.1:4321"), "");
  EXPECT_EQ(routes.refuseUpgrade("/ws?token=00fe", "127.0.0.1:4321", "http://127.0.0.1:4321"),
            "wrong or missing token");
  EXPECT_EQ(routes.refuseUpgrade("/ws/?token=00ff", "127.0.0.1:4321", "http://127.0.0.1:4321"),
            "not the WebSocket path");

  webRoutesConfig v6;
  v6.address = "::1";
  v6.port = 80;
  webRoutes six(v6);
  EXPECT_TRUE(six.hostAllowed("[::1]:80"));
  EXPECT_TRUE(six.originAllowed("http://localhost:80"));
}

// Page with the token only; script and style sheet are the compiled-in client files;
// skin and fonts from their directories; nothing else.
TEST_F(WebRoutesAnswers, Routes) {
  const std::string host = "127.0.0.1:4321";
  webReply page = routes.answer("GET", "/?token=00ff", host);
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.body, clientFile("index.html"));
  EXPECT_NE(page.body.find("/client.js"), std::string::npos);
  EXPECT_EQ(routes.answer("GET", "/?token=00fe", host).status, 403);
  EXPECT_EQ(routes.answer("GET", "/", host).status, 403);
  EXPECT_EQ(routes.answer("GET", "/?token=00ff", "attacker.example:4321").status, 403);
  EXPECT_EQ(routes.answer("POST", "/?token=00ff", host).status, 405);

  webReply script = routes.answer("GET", "/client.js", host);
  EXPECT_EQ(script.status, 200);
  EXPECT_EQ(script.contentType, "text/javascript; charset=utf-8");
  EXPECT_EQ(script.body, clientFile("client.js"));
  EXPECT_FALSE(script.body.empty());
  // Every module the client imports, directly or not, is served as a script.
  std::vector<std::string> modules{"client.js"};
  for (size_t i = 0; i < modules.size(); ++i) {
    std::string body = routes.answer("GET", "/" + modules[i], host).body;
    static const std::regex from(R"(from '\./([A-Za-z]+\.js)')");
    for (std::sregex_iterator m(body.begin(), body.end(), from), end; m != end; ++m) {
      std::string name = (*m)[1];
      if (std::find(modules.begin(), modules.end(), name) != modules.end()) continue;
      webReply module = routes.answer("GET", "/" + name, host);
      EXPECT_EQ(module.status, 200) << name;
      EXPECT_EQ(module.contentType, "text/javascript; charset=utf-8") << name;
      modules.push_back(name);
    }
  }
  EXPECT_GE(modules.size(), 5u);
  EXPECT_EQ(routes.answer("GET", "/client.test.js", host).status, 404);

  webReply css = routes.answer("GET", "/skin/common-body.css?v=2", host);
  EXPECT_EQ(css.status, 200);
  EXPECT_EQ(css.body, "body{}");
  EXPECT_EQ(routes.answer("GET", "/docs/fonts/fontello.ttf", host).contentType, "font/ttf");
  EXPECT_EQ(routes.answer("GET", "/skin/../secret.txt", host).status, 404);
  EXPECT_EQ(routes.answer("GET", "/skin/", host).status, 404);
  EXPECT_EQ(routes.answer("GET", "/docs/secret.txt", host).status, 404);
  EXPECT_EQ(routes.answer("GET", "/index.html", host).status, 404);

  // A client directory replaces the compiled-in files.
  webRoutesConfig c = routes.config();
  test::writeFile(dir / "client/client.js", "// working copy");
  c.clientDirectory = dir / "client/";
  EXPECT_EQ(webRoutes(c).answer("GET", "/client.js", host).body, "// working copy");
}

}  // namespace
}  // namespace zv
