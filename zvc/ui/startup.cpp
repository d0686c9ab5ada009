#include "zvc/ui/startup.h"

#include "platform/diagnostics.h"

#include <iostream>

namespace zv {

void startupMessageBox(const std::string& text, const std::string& caption) {
  std::cerr << caption << ": " << text << std::endl;
  logMessage("%s: %s", caption.c_str(), text.c_str());
}

}  // namespace zv
