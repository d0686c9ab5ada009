#include "zvc/cli/output.h"

namespace zv::cli {

void print(std::ostream& out, const json& document) {
  out << document.dump(-1, ' ', false, json::error_handler_t::replace) << "\n";
}

int fail(std::ostream& out, const std::string& error) {
  print(out, json{{"ok", false}, {"error", error}});
  return 1;
}

}  // namespace zv::cli
