// The writer of the engine's HTML dialect: markup that reads back to the same tree.
#include "htmlview/parser.h"

#include <initializer_list>

namespace zv {
namespace {

bool isVoid(std::string_view tag) {
  for (std::string_view v :
       {"area", "base", "basefont", "br", "col", "embed", "frame", "hr", "img", "input", "keygen",
        "link", "meta", "param", "source", "track", "wbr"}) {
    if (tag == v) return true;
  }
  return false;
}

void openTag(std::string& out, const element& e) {
  out += '<';
  out += e.tag();
  for (std::size_t i = 0; i < e.attributeCount(); ++i) {
    out += ' ';
    out += e.attributeName(i);
    if (!e.attributeValue(i).empty()) {
      out += "=\"";
      appendEscaped(out, e.attributeValue(i), true);
      out += '"';
    }
  }
  out += '>';
}

// Writes the content of `top` (and `top` itself when `outer`), depth first without
// recursion.
void write(std::string& out, const element& top, bool outer) {
  struct frame {
    const element* e;
    std::size_t next;
  };
  auto enter = [&](const element& e, std::vector<frame>& stack) {
    openTag(out, e);
    if (isVoid(e.tag())) return;
    if (isRawTextTag(e.tag())) {
      out += e.text();
      out += "</" + e.tag() + ">";
      return;
    }
    if (e.tag() == "textarea" || e.tag() == "title") {
      appendEscaped(out, e.text(), false);
      out += "</" + e.tag() + ">";
      return;
    }
    stack.push_back({&e, 0});
  };
  std::vector<frame> stack;
  if (outer) {
    enter(top, stack);
  } else {
    stack.push_back({&top, 0});
  }
  while (!stack.empty()) {
    frame& f = stack.back();
    if (f.next == f.e->childCount()) {
      appendEscaped(out, f.e->trailingText(), false);
      if (outer || stack.size() > 1) out += "</" + f.e->tag() + ">";
      stack.pop_back();
      continue;
    }
    std::size_t i = f.next++;
    appendEscaped(out, f.e->textBefore(i), false);
    enter(*f.e->child(i), stack);
  }
}

}  // namespace

void appendEscaped(std::string& out, std::string_view text, bool attribute) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        if (attribute) {
          out += "&quot;";
          break;
        }
        [[fallthrough]];
      default:
        out += c;
    }
  }
}

std::string writeInnerHtml(const element& e) {
  std::string out;
  if (isRawTextTag(e.tag())) return e.text();
  if (e.tag() == "textarea" || e.tag() == "title") {
    appendEscaped(out, e.text(), false);
    return out;
  }
  write(out, e, false);
  return out;
}

std::string writeOuterHtml(const element& e) {
  std::string out;
  write(out, e, true);
  return out;
}

}  // namespace zv
