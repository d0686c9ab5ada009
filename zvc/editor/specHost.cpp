#include "zvc/editor/specHost.h"

#include "htmlview/selector.h"
#include "platform/diagnostics.h"
#include "platform/textConv.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zv {
namespace {

constexpr std::pair<std::uint32_t, std::uint32_t> stateMap[] = {
    {ZV_STATE_CURRENT, stateCurrent},     {ZV_STATE_CHECKED, stateChecked},
    {ZV_STATE_DISABLED, stateDisabled},   {ZV_STATE_EXPANDED, stateExpanded},
    {ZV_STATE_COLLAPSED, stateCollapsed},
};

// Longest text taken from the library in one operation (code units): far above what an
// editor writes, small enough that a runaway length cannot exhaust memory.
constexpr std::size_t maxTextUnits = std::size_t(1) << 22;

std::u16string_view textOf(const zvText* text) {
  if (!text || (!text->units && text->length != 0) || text->length > maxTextUnits) return {};
  return {reinterpret_cast<const char16_t*>(text->units), text->length};
}

bool usableText(const zvText& text) {
  return (text.units || text.length == 0) && text.length <= maxTextUnits;
}

// Copies `text` zero-terminated into the buffer, cut to `capacity` units with the
// terminator; returns the full length.
long copyOut(std::string_view utf8, uint16_t* buffer, std::size_t capacity) {
  std::u16string text = fromUtf8(utf8);
  if (buffer && capacity > 0) {
    std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n * sizeof(char16_t));
    buffer[n] = 0;
  }
  return long(text.size());
}

bool isCheckbox(const element& e) {
  if (e.tag() != "input") return false;
  return equalsNoCase(e.attribute("type").value_or(""), "checkbox");
}

}  // namespace

// The table's functions: each resolves its handles in the current call and refuses what
// does not resolve.
struct specHostCalls {
  static specHost* self(void* context) { return static_cast<specHost*>(context); }

  static zvElement selectFirst(void* context, zvElement root, const char* text) {
    specHost* host = self(context);
    if (!text || host->depth_ == 0) return nullptr;
    element* scope = root ? host->resolve(root) : &host->doc_.root();
    if (!scope) return nullptr;
    elementRef found = scope->selectFirst(text);
    return host->handle(found.get());
  }

  static size_t selectAll(void* context, zvElement root, const char* text, zvElement* found,
                          size_t capacity) {
    specHost* host = self(context);
    if (!text || host->depth_ == 0) return 0;
    element* scope = root ? host->resolve(root) : &host->doc_.root();
    if (!scope) return 0;
    std::vector<elementRef> all = scope->selectAll(text);
    if (found) {
      std::size_t n = std::min(all.size(), capacity);
      for (std::size_t i = 0; i < n; ++i) found[i] = host->handle(all[i].get());
    }
    return all.size();
  }

  static long getAttribute(void* context, zvElement element, const char* name, uint16_t* buffer,
                           size_t capacity) {
    zv::element* e = self(context)->resolve(element);
    if (!e || !name) return -1;
    std::optional<std::string_view> value = e->attribute(name);
    if (!value) return -1;
    return copyOut(*value, buffer, capacity);
  }

  static int setAttribute(void* context, zvElement element, const char* name, const zvText* value) {
    zv::element* e = self(context)->resolve(element);
    if (!e || !name || !*name) return 0;
    if (!value) {
      e->removeAttribute(name);
      return 1;
    }
    if (!usableText(*value)) return 0;
    e->setAttribute(name, toUtf8(textOf(value)));
    return 1;
  }

  static long getValue(void* context, zvElement element, uint16_t* buffer, size_t capacity) {
    zv::element* e = self(context)->resolve(element);
    if (!e || !e->hasValue()) return -1;
    if (isCheckbox(*e)) return copyOut(e->hasState(stateChecked) ? "on" : "", buffer, capacity);
    return copyOut(e->value(), buffer, capacity);
  }

  static int setValue(void* context, zvElement element, zvText value) {
    zv::element* e = self(context)->resolve(element);
    if (!e || !e->hasValue() || !usableText(value)) return 0;
    std::string text = toUtf8(textOf(&value));
    if (isCheckbox(*e)) {
      bool on = !text.empty() && text != "off";
      std::uint32_t bit = stateChecked;
      e->setStates(on ? bit : 0, on ? 0 : bit);
      return 1;
    }
    e->setValue(text);
    return 1;
  }

  static long getText(void* context, zvElement element, uint16_t* buffer, size_t capacity) {
    zv::element* e = self(context)->resolve(element);
    if (!e) return -1;
    return copyOut(e->text(), buffer, capacity);
  }

  static int setInnerHtml(void* context, zvElement element, zvText html) {
    zv::element* e = self(context)->resolve(element);
    if (!e || !usableText(html)) return 0;
    e->setInnerHtml(toUtf8(textOf(&html)));
    return 1;
  }

  static uint32_t getState(void* context, zvElement element) {
    zv::element* e = self(context)->resolve(element);
    return e ? interfaceStates(e->states()) : 0;
  }

  static int setState(void* context, zvElement element, uint32_t set, uint32_t clear) {
    zv::element* e = self(context)->resolve(element);
    if (!e) return 0;
    e->setStates(engineStates(set), engineStates(clear));
    return 1;
  }

  static int copyDisplayParameters(void* context, const char* key) {
    specHost* host = self(context);
    if (!key || !host->copy_ || std::strlen(key) > 63) return 0;
    return host->copy_(key) ? 1 : 0;
  }
};

specHost::specHost(document& doc, copyDisplay copy) : doc_(doc), copy_(std::move(copy)) {
  table_.abiVersion = ZV_SPEC_ABI_VERSION;
  table_.context = this;
  table_.selectFirst = specHostCalls::selectFirst;
  table_.selectAll = specHostCalls::selectAll;
  table_.getAttribute = specHostCalls::getAttribute;
  table_.setAttribute = specHostCalls::setAttribute;
  table_.getValue = specHostCalls::getValue;
  table_.setValue = specHostCalls::setValue;
  table_.getText = specHostCalls::getText;
  table_.setInnerHtml = specHostCalls::setInnerHtml;
  table_.getState = specHostCalls::getState;
  table_.setState = specHostCalls::setState;
  table_.copyDisplayParameters = specHostCalls::copyDisplayParameters;
}

specHost::call::~call() {
  if (--host_.depth_ == 0) {
    host_.handles_.clear();
    host_.numbers_.clear();
  }
}

zvElement specHost::handle(element* e) {
  if (!e || depth_ == 0) return nullptr;
  // The same element keeps its handle within a call, so a library may compare them.
  if (auto known = numbers_.find(e); known != numbers_.end())
    return reinterpret_cast<zvElement>(std::uintptr_t(known->second));
  if (handles_.size() >= maxHandles) {
    ZV_REPORT("option library asked for more than %zu elements in one call", maxHandles);
    return nullptr;
  }
  handles_.emplace_back(e);
  numbers_.emplace(e, handles_.size());
  return reinterpret_cast<zvElement>(std::uintptr_t(handles_.size()));
}

element* specHost::resolve(zvElement handle) const {
  std::uintptr_t index = reinterpret_cast<std::uintptr_t>(handle);
  if (depth_ == 0 || index == 0 || index > handles_.size()) return nullptr;
  element* e = handles_[index - 1].get();
  // An element an earlier operation of the call took out of the page is gone for the
  // library as well.
  return e && e->isConnected() && e->ownerDocument() == &doc_ ? e : nullptr;
}

std::uint32_t engineStates(std::uint32_t zvStates) {
  std::uint32_t out = 0;
  for (auto [ours, engine] : stateMap)
    if (zvStates & ours) out |= engine;
  return out;
}

std::uint32_t interfaceStates(std::uint32_t engineBits) {
  std::uint32_t out = 0;
  for (auto [ours, engine] : stateMap)
    if (engineBits & engine) out |= ours;
  return out;
}

}  // namespace zv
