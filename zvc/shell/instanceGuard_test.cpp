#include "zvc/shell/instanceGuard.h"

#include "htmlview/recordingHost.h"
#include "htmlview/windowHost.h"
#include "platform/windowMessages.h"
#include "testsupport/testSupport.h"
#include "zvc/ui/consoleUi.h"
#include "zvc/ui/messageBox.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

namespace zv {
namespace {

using namespace std::chrono_literals;

// Short times, so that the answer window and the wait limit pass within a test.
instanceTiming quick() {
  instanceTiming t;
  t.answerWindow = 400ms;
  t.waitLimit = 900ms;
  t.claimPeriod = 50ms;
  t.poll = 10ms;
  return t;
}

// A console's windows on the test's thread: the window host, a recording browser that
// answers boxes from the test's script, and message boxes shown as its windows.
class InstanceGuard : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    setMailslotNamespace("zelvar-test-" + std::to_string(::getpid()) + "-guard" +
                         std::to_string(++counter) + "/");
    setMessageBoxHandler([this](const std::string& text, const std::string& caption,
                                boxButtons buttons, boxIcon icon) {
      return showMessageBox(windows, windows.activeWindow(), text, caption, buttons, icon);
    });
    browser.attach();
    loop.pump();
  }
  void TearDown() override {
    setMessageBoxHandler(nullptr);
    setMailslotNamespace("");
  }

  // Runs the loop until `done` holds or two seconds passed.
  bool pumpUntil(const std::function<bool()>& done) {
    auto end = std::chrono::steady_clock::now() + 2s;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      loop.pump();
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }

  // Reads one message of an answer mailslot the test made.
  static std::string readOne(mailslot& slot, std::chrono::milliseconds patience = 2000ms) {
    std::string got;
    if (slot.read(got, patience) != mailslot::readResult::message) return "<none>";
    return got;
  }

  test::logCapture log;
  eventLoop loop;
  test::loopWatchdog guard{loop};
  windowHost windows{loop};
  recordingHost browser{windows};
};

std::unique_ptr<document> page() {
  auto doc = std::make_unique<document>();
  doc->load("<h1>Zelvar Center</h1>");
  return doc;
}

// The running console: its user's Cancel sends "kill" to the requester and the
// console keeps the name and answers the next request again.
TEST_F(InstanceGuard, RefusalAnswersKillAndListeningGoesOn) {
  instanceGuard running(loop, quick());
  ASSERT_TRUE(running.claimInstance());
  EXPECT_TRUE(running.claimInstance()) << "claiming what it owns";
  instanceGuard other(loop, quick());
  EXPECT_FALSE(other.claimInstance());
  ASSERT_TRUE(running.startInstanceListener());
  running.setMainWindow(openMainWindow(windows, loop, page(), nullptr));

  for (std::string id : {"77", "2047"}) {
    auto answer = mailslot::create(answerMailslotPrefix + id);
    ASSERT_NE(answer, nullptr);
    browser.answerBox("Получен запрос", boxAnswer::cancel);
    ASSERT_TRUE(writeMailslot(instanceMailslotName, id));
    ASSERT_TRUE(pumpUntil([&] { return browser.pendingScripts() == 0; }));
    EXPECT_EQ(readOne(*answer), "kill");
  }
  ASSERT_EQ(browser.boxes().size(), 2u);
  EXPECT_EQ(browser.boxes()[0].caption, "Zelvar");
  EXPECT_EQ(browser.boxes()[0].text, closeRequestQuestion);
  EXPECT_EQ(browser.boxes()[0].buttons, (std::vector<std::string>{"IDOK", "IDCANCEL"}));
  EXPECT_TRUE(running.ownsInstance());
  EXPECT_TRUE(mailslotExists(instanceMailslotName));
  EXPECT_FALSE(loop.quitRequested());
}

// OK frees the name at once and ends the loop with exit code 0 through the main window;
// the requester hears nothing.
TEST_F(InstanceGuard, OkClosesAtOnce) {
  instanceGuard running(loop, quick());
  ASSERT_TRUE(running.claimInstance());
  ASSERT_TRUE(running.startInstanceListener());
  running.setMainWindow(openMainWindow(windows, loop, page(), [] { return false; }));
  auto answer = mailslot::create("ZVC_5");
  browser.answerBox("Получен запрос", boxAnswer::ok);
  ASSERT_TRUE(writeMailslot(instanceMailslotName, "5"));
  EXPECT_EQ(loop.run(), 0) << "the leave check is not asked";
  EXPECT_FALSE(mailslotExists(instanceMailslotName));
  EXPECT_FALSE(running.ownsInstance());
  EXPECT_EQ(readOne(*answer, 100ms), "<none>");
  EXPECT_TRUE(log.contains("another console takes over"));
}

// A user who does not answer within the answer window is taken as agreeing: the box
// is still open when the console ends, and a late answer changes nothing.
TEST_F(InstanceGuard, NoAnswerWithinTheWindowCloses) {
  instanceGuard running(loop, quick());
  ASSERT_TRUE(running.claimInstance());
  ASSERT_TRUE(running.startInstanceListener());
  running.setMainWindow(openMainWindow(windows, loop, page(), nullptr));
  auto answer = mailslot::create("ZVC_9");
  bool shown = false;
  browser.onBox("Получен запрос", [&](windowId) { shown = true; });
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(writeMailslot(instanceMailslotName, "9"));
  EXPECT_EQ(loop.run(), 0);
  EXPECT_TRUE(shown);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
  EXPECT_FALSE(mailslotExists(instanceMailslotName));
  EXPECT_EQ(readOne(*answer, 100ms), "<none>")
      << "the box closed by the ending loop refuses nothing";
}

// A request that comes before the main window exists waits for it; requests that are
// not identifiers are dropped with a log line and never reach the user.
TEST_F(InstanceGuard, RequestsWaitForTheMainWindowAndMustBeIdentifiers) {
  instanceGuard running(loop, quick());
  ASSERT_TRUE(running.claimInstance());
  ASSERT_TRUE(running.startInstanceListener());
  const std::string bad[] = {"abc", "12/../x", "12345678901", std::string("1\0", 2), " 12"};
  for (const std::string& request : bad) ASSERT_TRUE(writeMailslot(instanceMailslotName, request));
  ASSERT_TRUE(writeMailslot(instanceMailslotName, ""));  // skipped quietly
  auto answer = mailslot::create("ZVC_12");
  ASSERT_TRUE(writeMailslot(instanceMailslotName, "12"));
  std::this_thread::sleep_for(150ms);
  loop.pump();
  EXPECT_TRUE(browser.boxes().empty());
  EXPECT_TRUE(log.contains("a request that is not an identifier (3 bytes) was dropped"));
  EXPECT_TRUE(log.contains("(11 bytes) was dropped"));

  browser.answerBox("Получен запрос", boxAnswer::cancel);
  running.setMainWindow(openMainWindow(windows, loop, page(), nullptr));
  ASSERT_TRUE(pumpUntil([&] { return browser.boxes().size() == 1; }));
  EXPECT_EQ(readOne(*answer), "kill");
}

// closeInstance stops a listener that is waiting for its user and frees the name.
TEST_F(InstanceGuard, CloseStopsTheListenerWhileItAsks) {
  instanceGuard running(loop, instanceTiming{60s, 61s, 1s, 10ms});
  ASSERT_TRUE(running.claimInstance());
  ASSERT_TRUE(running.startInstanceListener());
  running.setMainWindow(openMainWindow(windows, loop, page(), nullptr));
  ASSERT_TRUE(writeMailslot(instanceMailslotName, "3"));
  std::this_thread::sleep_for(50ms);
  auto start = std::chrono::steady_clock::now();
  running.closeInstance();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_FALSE(mailslotExists(instanceMailslotName));
}

// The starting console: No ends the take-over without a request and without another box.
TEST_F(InstanceGuard, AnsweringNoEndsSilently) {
  auto running = mailslot::create(instanceMailslotName);
  instanceGuard starting(loop, quick());
  ASSERT_FALSE(starting.claimInstance());
  browser.answerBox("Конфигуратор уже запущен", boxAnswer::no);
  EXPECT_FALSE(starting.askRunningInstance(windows));
  ASSERT_EQ(browser.boxes().size(), 1u);
  EXPECT_EQ(browser.boxes()[0].caption, "Zelvar");
  EXPECT_EQ(browser.boxes()[0].text, takeOverQuestion);
  EXPECT_EQ(browser.boxes()[0].buttons, (std::vector<std::string>{"IDYES", "IDNO"}));
  EXPECT_EQ(readOne(*running, 50ms), "<none>");
}

// The running console refuses: the starting one shows the refusal once and gives up;
// while it waited, the waiting dialog was open. Other answers are dropped.
TEST_F(InstanceGuard, RefusalEndsTheWait) {
  auto running = mailslot::create(instanceMailslotName);
  instanceGuard starting(loop, quick());
  std::string request;
  std::thread other([&] {
    request = readOne(*running);
    writeMailslot(answerMailslotPrefix + request, "");
    writeMailslot(answerMailslotPrefix + request, "killed");
    writeMailslot(answerMailslotPrefix + request, "kill");
  });
  windowId dialog = 0;
  std::string shownText;
  browser.onWindow("Внимание", [&](windowId w) {
    dialog = w;
    shownText = browser.text(w, "#waitText");
  });
  browser.answerBox("Конфигуратор уже запущен", boxAnswer::yes);
  EXPECT_FALSE(starting.askRunningInstance(windows));
  other.join();
  EXPECT_TRUE(validInstanceRequest(request));
  EXPECT_LE(std::stoi(request), 2047);
  ASSERT_NE(dialog, 0u);
  EXPECT_EQ(shownText, waitingText);
  EXPECT_TRUE(browser.framesOf("window")[1]["modal"].get<bool>());
  ASSERT_EQ(browser.boxes().size(), 2u);
  EXPECT_EQ(browser.boxes()[1].text, takeOverRefused);
  EXPECT_EQ(browser.boxes()[1].caption, "Zelvar");
  EXPECT_FALSE(windows.isOpen(dialog));
  EXPECT_FALSE(mailslotExists(answerMailslotPrefix + request)) << "the answer mailslot is closed";
  EXPECT_TRUE(log.contains("a message that is not the refusal (6 bytes) was dropped"));
}

// When the running console lets the name go, the starting one takes it within a claim
// period; when it never answers, the starting one gives up after the wait limit with
// the refusal text.
TEST_F(InstanceGuard, TakesTheNameOrGivesUpAfterTheWaitLimit) {
  auto running = mailslot::create(instanceMailslotName);
  std::thread other([&] {
    readOne(*running);
    std::this_thread::sleep_for(100ms);
    running->close();
  });
  instanceGuard starting(loop, quick());
  browser.answerBox("Конфигуратор уже запущен", boxAnswer::yes);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(starting.askRunningInstance(windows));
  other.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 600ms);
  EXPECT_TRUE(starting.ownsInstance());
  EXPECT_EQ(browser.boxes().size(), 1u);
  starting.closeInstance();

  auto silent = mailslot::create(instanceMailslotName);
  instanceGuard late(loop, quick());
  browser.answerBox("Конфигуратор уже запущен", boxAnswer::yes);
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(late.askRunningInstance(windows));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);
  ASSERT_EQ(browser.boxes().size(), 3u);
  EXPECT_EQ(browser.boxes()[2].text, takeOverRefused);
}

// Closing the waiting dialog gives up at once and tells nothing more.
TEST_F(InstanceGuard, ClosingTheWaitingDialogGivesUp) {
  auto running = mailslot::create(instanceMailslotName);
  instanceGuard starting(loop, instanceTiming{60s, 61s, 1s, 10ms});
  browser.answerBox("Конфигуратор уже запущен", boxAnswer::yes);
  browser.onWindow("Внимание", [&](windowId w) { browser.closeWindow(w); });
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(starting.askRunningInstance(windows));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(browser.boxes().size(), 1u);
  EXPECT_TRUE(windows.openWindows().empty());
}

// A request that cannot be delivered is "Невозможно запустить конфигуратор." / "Ошибка".
TEST_F(InstanceGuard, UndeliverableRequest) {
  auto running = mailslot::create(instanceMailslotName);
  while (writeMailslot(instanceMailslotName, "1")) {
  }
  instanceGuard starting(loop, quick());
  browser.answerBox("Конфигуратор уже запущен", boxAnswer::yes);
  EXPECT_FALSE(starting.askRunningInstance(windows));
  ASSERT_EQ(browser.boxes().size(), 2u);
  EXPECT_EQ(browser.boxes()[1].text, cannotStartConsole);
  EXPECT_EQ(browser.boxes()[1].caption, "Ошибка");
  EXPECT_TRUE(windows.openWindows().empty());
}

// Before the user interface exists, a console started from a terminal asks there.
TEST(TerminalMessageBox, AnswersFromTheTerminal) {
  struct answerCase {
    std::string input;
    boxButtons buttons;
    boxAnswer expected;
  };
  const answerCase cases[] = {
      {"да\n", boxButtons::yesNo, boxAnswer::yes},
      {"Нет\n", boxButtons::yesNo, boxAnswer::no},
      {"N\r\n", boxButtons::yesNo, boxAnswer::no},
      {"\n", boxButtons::yesNo, boxAnswer::yes},
      {"", boxButtons::yesNo, boxAnswer::yes},
      {"может быть\nотмена\nн\n", boxButtons::yesNo, boxAnswer::no},
      {"x\nx\nx\nn\n", boxButtons::yesNo, boxAnswer::yes},
      {"c\n", boxButtons::okCancel, boxAnswer::cancel},
      {"ОТМЕНА\n", boxButtons::okCancel, boxAnswer::cancel},
      {"n\n", boxButtons::ok, boxAnswer::ok},
  };
  for (const answerCase& c : cases) {
    std::istringstream in(c.input);
    std::ostringstream out;
    EXPECT_EQ(terminalMessageBox("Продолжить?", "Zelvar", c.buttons, in, out), c.expected)
        << c.input;
    EXPECT_EQ(out.str().rfind("Zelvar: Продолжить?\n", 0), 0u);
  }
}

}  // namespace
}  // namespace zv
