#include "htmlview/clientFrames.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace zv {
namespace {

using json = nlohmann::json;

enum class kind {
  uid,        // positive integer
  uidOrNone,  // non-negative integer (0: none)
  count,      // non-negative integer
  integer,    // any integer
  number,     // any number
  text,       // string
  flags,      // {"ctrl":b,"shift":b,"alt":b}
};

struct field {
  const char* name;
  kind type;
  bool optional = false;
};

struct frameType {
  const char* type;
  std::initializer_list<field> fields;
};

// One row per frame type of the wire protocol. Every frame also has "t" and "w".
const frameType frameTypes[] = {
    {"click",
     {{"u", kind::uid},
      {"mods", kind::flags},
      {"x", kind::number},
      {"y", kind::number},
      {"href", kind::text, true}}},
    {"dblclick", {{"u", kind::uid}, {"mods", kind::flags}}},
    {"key",
     {{"u", kind::uidOrNone},
      {"key", kind::text},
      {"mods", kind::flags},
      {"page", kind::count, true}}},
    {"input", {{"u", kind::uid}, {"v", kind::text}}},
    {"select", {{"u", kind::uid}, {"row", kind::uid}}},
    {"contextmenu", {{"u", kind::uid}, {"x", kind::number}, {"y", kind::number}}},
    {"menuitem", {{"u", kind::uid}}},
    {"popupDismissed", {{"u", kind::uid}}},
    {"drop", {{"u", kind::uid}, {"target", kind::uid}, {"index", kind::count}}},
    {"scroll", {{"u", kind::uid}, {"top", kind::number}}},
    {"resized", {{"u", kind::uid}, {"width", kind::count}}},
    {"rows", {{"u", kind::uid}, {"from", kind::count}, {"to", kind::count}}},
    {"geometry",
     {{"x", kind::integer},
      {"y", kind::integer},
      {"width", kind::count},
      {"height", kind::count},
      {"screenWidth", kind::count},
      {"screenHeight", kind::count}}},
    {"closeWindow", {}},
};

bool isCount(const json& v) {
  return v.is_number_unsigned() || (v.is_number_integer() && v.get<std::int64_t>() >= 0);
}

bool hasKind(const json& v, kind type) {
  switch (type) {
    case kind::uid:
      return isCount(v) && v.get<std::uint64_t>() > 0;
    case kind::uidOrNone:
    case kind::count:
      return isCount(v);
    case kind::integer:
      return v.is_number_integer();
    case kind::number:
      return v.is_number();
    case kind::text:
      return v.is_string();
    case kind::flags:
      if (!v.is_object()) return false;
      for (const char* name : {"ctrl", "shift", "alt"}) {
        auto it = v.find(name);
        if (it == v.end() || !it->is_boolean()) return false;
      }
      return true;
  }
  return false;
}

checkedFrame refused(std::string problem) {
  return {std::nullopt, std::move(problem)};
}

}  // namespace

checkedFrame checkClientFrame(const json& frame) {
  if (!frame.is_object()) return refused("not a JSON object");
  auto t = frame.find("t");
  if (t == frame.end() || !t->is_string()) return refused("no frame type");
  const std::string& type = t->get_ref<const std::string&>();
  const frameType* row = nullptr;
  for (const auto& candidate : frameTypes)
    if (type == candidate.type) row = &candidate;
  if (!row) return refused("unknown frame type \"" + type.substr(0, 40) + "\"");

  json out = json::object();
  out["t"] = type;
  auto w = frame.find("w");
  if (w == frame.end() || !hasKind(*w, kind::uid))
    return refused(type + ": field w missing or not a window id");
  out["w"] = *w;
  for (const field& f : row->fields) {
    auto it = frame.find(f.name);
    if (it == frame.end()) {
      if (f.optional) continue;
      return refused(type + ": field " + f.name + " missing");
    }
    if (!hasKind(*it, f.type)) return refused(type + ": field " + f.name + " has the wrong type");
    if (f.type == kind::flags)
      out[f.name] = {{"ctrl", (*it)["ctrl"]}, {"shift", (*it)["shift"]}, {"alt", (*it)["alt"]}};
    else
      out[f.name] = *it;
  }
  if (type == "rows" && out["from"].get<std::uint64_t>() > out["to"].get<std::uint64_t>())
    return refused("rows: from after to");
  return {std::move(out), {}};
}

checkedFrame parseClientFrame(std::string_view text) {
  if (text.size() > maxClientFrameBytes)
    return refused("frame of " + std::to_string(text.size()) + " bytes is over the limit");
  // A key given twice would be read as whichever came last: such a frame is refused.
  std::vector<std::vector<std::string>> keys;
  bool duplicate = false;
  json::parser_callback_t noDuplicates = [&](int depth, json::parse_event_t event, json& parsed) {
    if (event == json::parse_event_t::object_start) {
      keys.resize(std::size_t(depth) + 1);
      keys[std::size_t(depth)].clear();
    } else if (event == json::parse_event_t::key && depth > 0) {
      auto& seen = keys[std::size_t(depth) - 1];
      const std::string& key = parsed.get_ref<const std::string&>();
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) duplicate = true;
      seen.push_back(key);
    }
    return true;
  };
  json frame = json::parse(text, noDuplicates, false);
  if (frame.is_discarded()) return refused("not valid JSON");
  if (duplicate) return refused("a key appears twice");
  return checkClientFrame(frame);
}

}  // namespace zv
