#pragma once
// The console's file chooser: a modal window that browses the server's directories,
// since the files the console works with are the server's, not the browser's. A path
// field, the subdirectories and regular files of the current directory (".." leads
// up), OK and Cancel. Links are shown as what they are and never entered or chosen, so
// the user always sees where a path leads.
//
// User-interface thread only; the call runs a nested modal loop until the window is gone.

#include "htmlview/windowHost.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zv {

// What the chooser is for. An "open" chooser returns an existing regular file; the
// same window is meant to take a "save" mode (a name field, the question before an
// existing file is replaced) when the logs are saved.
enum class fileChooserMode { open };

struct fileChooserOptions {
  fileChooserMode mode = fileChooserMode::open;
  std::string title = "Открыть файл";
  std::string directory = "/";  // where browsing starts; "/" when it cannot be read
};

// The most entries a directory shows; the rest are left out with a note.
constexpr std::size_t fileChooserEntryLimit = 5000;

struct fileChooserEntry {
  std::string name;
  bool directory = false;
};

// The rows of a directory as the chooser shows them: ".." first (except at "/"), then
// directories, then regular files, each group by name; at most `limit` entries.
// `truncated` tells whether some were left out. Empty and false in `readable` when the
// directory cannot be read.
std::vector<fileChooserEntry> fileChooserRows(const std::string& directory, std::size_t limit,
                                              bool& truncated, bool& readable);

// The directory a row leads to from `directory` ("/a/b/" and ".." give "/a/").
std::string enteredDirectory(const std::string& directory, const std::string& name);

// The window. The chosen file's full path; empty when cancelled.
std::string chooseServerFile(windowHost& windows, windowId owner,
                             const fileChooserOptions& options);

}  // namespace zv
