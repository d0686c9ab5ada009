// The file chooser window. Rows carry their index in the list last read; whatever the
// browser reports is looked up there again, so a made-up row chooses nothing, and a
// file is chosen only when the directory, read again, still holds it as a regular file.

#include "zvc/ui/fileChooser.h"

#include "htmlview/events.h"
#include "htmlview/messageBoxWindow.h"
#include "htmlview/parser.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "zvc/ui/dialogEvents.h"
#include "zvc/ui/editMenus.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>

namespace zv {
namespace {

constexpr const char* pathInput = "fileChooser_path";
constexpr const char* listId = "fileChooser_list";
constexpr const char* messageId = "fileChooser_message";
constexpr const char* okButton = "fileChooser_ok";
constexpr const char* cancelButton = "fileChooser_cancel";
constexpr const char* unreadableMessage = "Не удалось прочитать папку";
constexpr std::size_t pathLimit = 4096;

std::string asDirectory(std::string path) {
  if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
  if (path.back() != '/') path += '/';
  return path;
}

// A path typed by the user split into its directory and last name.
std::pair<std::string, std::string> splitPath(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"/", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Whether `name` is a regular file of `directory`, read afresh and not through a link.
bool holdsFile(const std::string& directory, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
    return false;
  auto entries = listDirectory(directory, linkRule::refuse);
  if (!entries) return false;
  return std::any_of(entries->begin(), entries->end(), [&](const directoryEntry& e) {
    return e.name == name && e.type == entryType::file;
  });
}

}  // namespace

std::string enteredDirectory(const std::string& directory, const std::string& name) {
  std::string dir = asDirectory(directory);
  if (name != "..") return dir + name + "/";
  if (dir == "/") return dir;
  std::size_t slash = dir.rfind('/', dir.size() - 2);
  return dir.substr(0, slash + 1);
}

std::vector<fileChooserEntry> fileChooserRows(const std::string& directory, std::size_t limit,
                                              bool& truncated, bool& readable) {
  truncated = false;
  std::vector<fileChooserEntry> rows;
  auto entries = listDirectory(directory, linkRule::refuse);
  readable = entries.has_value();
  if (!entries) return rows;
  std::vector<fileChooserEntry> found;
  for (const directoryEntry& e : *entries) {
    // Links and special files are left out: the chooser never leads anywhere unseen.
    if (e.type != entryType::file && e.type != entryType::directory) continue;
    found.push_back({e.name, e.type == entryType::directory});
  }
  std::sort(found.begin(), found.end(), [](const fileChooserEntry& a, const fileChooserEntry& b) {
    if (a.directory != b.directory) return a.directory;
    return a.name < b.name;
  });
  if (asDirectory(directory) != "/") rows.push_back({"..", true});
  for (fileChooserEntry& e : found) {
    if (rows.size() >= limit) {
      truncated = true;
      break;
    }
    rows.push_back(std::move(e));
  }
  return rows;
}

namespace {

class fileChooserWindow {
 public:
  fileChooserWindow(windowHost& windows, const fileChooserOptions& options)
      : windows_(windows), options_(options) {}

  std::string run(windowId owner) {
    windowSpec spec;
    spec.title = options_.title;
    spec.width = 520;
    spec.height = 480;
    spec.owner = windows_.isOpen(owner) ? owner : 0;
    spec.modal = true;
    spec.css = {"/skin/common-body.css", "/skin/command-button.css", "/skin/inputFileName.css"};
    std::string html = "<html><head><menu>" + editMenusHtml() + "</menu></head><body><input id=\"";
    html += pathInput;
    html += "\" type=\"text\" maxlength=\"4096\" value=\"\"><div id=\"";
    html += messageId;
    html += "\"></div><div class=\"file_chooser_scroll\"><table id=\"";
    html += listId;
    html += "\" class=\"file_chooser_grid\"></table></div><div class=\"buttons\"><button id=\"";
    html += okButton;
    html += "\" class=\"command\">OK</button> <button id=\"";
    html += cancelButton;
    html += "\" class=\"command\">Отмена</button></div></body></html>";
    pending_ = std::make_unique<document>();
    pending_->load(html);
    if (!show(asDirectory(options_.directory))) show("/");
    window_ = windows_.openWindow(std::move(spec), std::move(pending_));
    if (window_ == 0) {
      internalErrorBox(__FILE__, __LINE__, "fileChooser");
      return {};
    }
    windows_.setEventHandler(window_, [this](uiEvent& e) { return handle(e); });
    windows_.runModal(window_);
    return chosen_;
  }

 private:
  document* doc() const { return window_ ? windows_.doc(window_) : pending_.get(); }

  // Shows a directory; false (the message shown, the list as it was) when it cannot be read.
  bool show(const std::string& directory) {
    document* d = doc();
    if (!d) return false;
    elementRef list = d->byId(listId);
    elementRef path = d->byId(pathInput);
    elementRef message = d->byId(messageId);
    if (!list || !path || !message) return false;
    bool truncated = false, readable = false;
    std::vector<fileChooserEntry> rows =
        fileChooserRows(directory, fileChooserEntryLimit, truncated, readable);
    if (!readable) {
      message->setText(unreadableMessage);
      return false;
    }
    directory_ = directory;
    rows_ = std::move(rows);
    std::string html;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      html += "<tr index=\"" + std::to_string(i) + "\"><td class=\"";
      html += rows_[i].directory ? "file_chooser_dir" : "file_chooser_file";
      html += "\">";
      appendEscaped(html, rows_[i].directory ? rows_[i].name + "/" : rows_[i].name, false);
      html += "</td></tr>";
    }
    list->setInnerHtml(html);
    path->setValue(directory_);
    message->setText(truncated ? "Показаны первые " + std::to_string(fileChooserEntryLimit) +
                                     " элементов папки"
                               : std::string());
    return true;
  }

  const fileChooserEntry* currentRow() const {
    document* d = doc();
    elementRef row = d ? d->selectFirst("#fileChooser_list tr:current") : elementRef();
    if (!row) return nullptr;
    std::string_view index = row->attribute("index").value_or("");
    if (index.empty() || index.size() > 6 ||
        index.find_first_not_of("0123456789") != std::string_view::npos)
      return nullptr;
    std::size_t at = std::stoul(std::string(index));
    return at < rows_.size() ? &rows_[at] : nullptr;
  }

  void choose(const std::string& directory, const std::string& name) {
    if (!holdsFile(directory, name)) {
      if (elementRef message = doc()->byId(messageId)) message->setText("Файл не найден");
      return;
    }
    chosen_ = directory + name;
    windows_.endModal(window_, 1);
  }

  // OK, Enter, a double click: a directory is entered, a file chosen; a path typed
  // differently from the directory shown goes first.
  void accept() {
    elementRef path = doc()->byId(pathInput);
    std::string typed = path ? path->value().substr(0, pathLimit) : std::string();
    if (!typed.empty() && typed != directory_) {
      if (typed.front() != '/') typed = directory_ + typed;
      if (typed.back() == '/' || !holdsFile(splitPath(typed).first, splitPath(typed).second)) {
        show(asDirectory(typed));
        return;
      }
      auto [directory, name] = splitPath(typed);
      choose(directory, name);
      return;
    }
    const fileChooserEntry* row = currentRow();
    if (!row) return;
    if (row->directory) {
      show(enteredDirectory(directory_, row->name));
    } else {
      choose(directory_, row->name);
    }
  }

  bool handle(uiEvent& e) {
    std::string button = buttonOf(e);
    if (e.kind == eventKind::tableRowDoubleClick || button == okButton || isEnter(e)) {
      accept();
    } else if (e.kind == eventKind::tableRowClick) {
      // A file's row puts its path in the field; a directory's leaves the shown one.
      const fileChooserEntry* row = currentRow();
      if (elementRef path = doc()->byId(pathInput))
        path->setValue(row && !row->directory ? directory_ + row->name : directory_);
    } else if (button == cancelButton || isEscape(e)) {
      windows_.endModal(window_, 0);
    } else {
      return false;
    }
    return true;
  }

  windowHost& windows_;
  const fileChooserOptions& options_;
  windowId window_ = 0;
  std::unique_ptr<document> pending_;
  std::string directory_;
  std::vector<fileChooserEntry> rows_;
  std::string chosen_;
};

}  // namespace

std::string chooseServerFile(windowHost& windows, windowId owner,
                             const fileChooserOptions& options) {
  fileChooserWindow window(windows, options);
  return window.run(owner);
}

}  // namespace zv
