#pragma once
// Message numbers and timer ids of the console's windows.
//
// The numbers are the ones the console has always used, so that code written against
// window messages reads the same here: system messages below 0x0400, application
// messages counted from WM_APP.

#include <chrono>

namespace zv::wm {

constexpr unsigned destroy = 0x0002;  // WM_DESTROY
constexpr unsigned close = 0x0010;    // WM_CLOSE
constexpr unsigned quit = 0x0012;     // WM_QUIT (never delivered; quit() ends the loop)
constexpr unsigned timer = 0x0113;    // WM_TIMER, wParam = timer id
constexpr unsigned user = 0x0400;     // WM_USER
constexpr unsigned app = 0x8000;      // WM_APP

// Application messages of the main window and its helpers, WM_APP + n.
constexpr unsigned listenerDied = app + 0;      // sent: the log listener failed
constexpr unsigned logLine = app + 1;           // posted to a log view: one record
constexpr unsigned rebuildTemplates = app + 2;  // posted by drag and drop, + 2 .. + 9
constexpr unsigned readScreens = app + 3;
constexpr unsigned rebuildAllScreens = app + 5;
constexpr unsigned refreshTemplates = app + 6;
constexpr unsigned rebuildScreens = app + 7;
constexpr unsigned deleteTemplate = app + 8;
constexpr unsigned deleteConnection = app + 9;
constexpr unsigned logCaptureEnded = app + 10;   // sent, payload: MAC
constexpr unsigned terminalChanged = app + 11;   // sent, payload: MAC
constexpr unsigned closeAtOnce = app + 14;       // sent by the instance listener
constexpr unsigned instanceWaitDone = app + 15;  // the single-instance waiting dialog

}  // namespace zv::wm

namespace zv {

// The main window's timers: id and period.
struct consoleTimer {
  unsigned id;
  std::chrono::milliseconds period;
};
constexpr consoleTimer versionCaptionTimer{7, std::chrono::seconds(5)};
constexpr consoleTimer onlineTimer{11, std::chrono::seconds(60)};
constexpr consoleTimer lastSeenTimer{13, std::chrono::hours(1)};

}  // namespace zv
