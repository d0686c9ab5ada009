#pragma once
// Checks the frames a browser client sends (htmlview/wire.md, "Browser → console")
// before the console sees them: the type must be known, every field of that type must
// be present with the right JSON type, and the result holds only those fields. Whether
// a window or uid exists is for the console to check.
//
// Thread safety: pure functions; any thread.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace zv {

// The frame's size limit; a larger text frame is dropped unread.
constexpr std::size_t maxClientFrameBytes = 1024 * 1024;

struct checkedFrame {
  std::optional<nlohmann::json> frame;  // the checked frame, or nullopt
  std::string problem;                  // why it was refused ("click: field u missing")
};

// Checks one parsed frame.
checkedFrame checkClientFrame(const nlohmann::json& frame);
// Parses the text of one WebSocket frame and checks it.
checkedFrame parseClientFrame(std::string_view text);

}  // namespace zv
