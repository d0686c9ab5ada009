#pragma once
// The gallery: one page with every kind of control the console's documents use (tabs,
// an expandable list, a sortable grid of many rows, a form with filtered inputs, check
// boxes and radio buttons, lists, drag and drop, menus, tooltips, message boxes), shown
// by `zvcenter --gallery` as the main window instead of the console's own. It needs no
// installation: only the skin's style sheets.
//
// The controller answers the page's events and shows what it received in the page
// ("status" and one element per kind of answer, docs/gallery.md lists the ids) and
// hands a line to its reporter (stdout in zvcenter), so a browser test can see that
// what the user typed or chose arrived in the console.
//
// User-interface thread only.

#include "htmlview/events.h"
#include "htmlview/windowHost.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

struct consoleUiOptions;

constexpr std::size_t galleryGridRows = 50000;

// The gallery's document with `gridRows` rows in its grid.
std::string galleryHtml(std::size_t gridRows = galleryGridRows);
// The style sheets the gallery window loads ("/skin/…").
std::vector<std::string> gallerySheets();

// The text of the grid's cells of row `n` (1-based): the terminal's name, a code that
// orders the rows differently (a permutation of 00000…, five digits) and an address.
struct galleryRow {
  std::string name;
  std::string code;
  std::string address;
};
galleryRow galleryRowText(std::size_t n, std::size_t gridRows = galleryGridRows);

class galleryController {
 public:
  using reporter = std::function<void(const std::string& line)>;

  // Handles the events of `window`, which shows the gallery's document.
  galleryController(windowHost& windows, windowId window, reporter report);
  galleryController(const galleryController&) = delete;
  galleryController& operator=(const galleryController&) = delete;

  // The window's application handler.
  bool handle(uiEvent& event);

 private:
  void show(std::string_view id, std::string_view text);
  void status(const std::string& text, const std::string& line);
  bool buttonClicked(element& source);
  void valueChanged(element& source);
  bool dropped(element& zone, element& dragged, std::int64_t index);
  bool contextMenu(element& target);
  bool forwardTabKey(uiEvent& event);

  windowHost& windows_;
  windowId window_;
  reporter report_;
};

// `zvcenter --gallery`: serves the gallery as the main window and runs the loop until
// its close control, SIGINT or SIGTERM. The skin directory is options.skinDirectory.
int runGallery(consoleUiOptions options);

}  // namespace zv
