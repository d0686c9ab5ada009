#pragma once
// specHost: the console's page as a version's option library sees it — the zvHost
// function table (specs/zvspec.h) over one window's htmlview document.
//
// The library's editors find elements with the engine's selectors and read and change
// attributes, control values, text, inner HTML (parsed by the engine) and element
// states. An element crosses the interface as a handle that is valid for one call into
// the library only: every call is made inside a `call` scope, which holds the elements
// handed out so far and forgets them when it ends. A handle from an earlier call, or a
// value that never was a handle, names nothing and every operation on it fails.
//
// copyDisplayParameters goes to the callback the options editor installs.
//
// One host per window, on the user-interface thread only.

#include "htmlview/dom.h"
#include "specs/zvspec.h"

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zv {

class specHost {
 public:
  // Composes the display option `key`; true when it did.
  using copyDisplay = std::function<bool(const std::string& key)>;

  explicit specHost(document& doc, copyDisplay copy = {});
  specHost(const specHost&) = delete;
  specHost& operator=(const specHost&) = delete;

  const zvHost* table() const { return &table_; }

  // While a call lives, the host hands out handles; they end with it. Calls nest (an
  // editor's event may ask for the display composition, which renders again).
  class call {
   public:
    explicit call(specHost& host) : host_(host) { ++host_.depth_; }
    ~call();
    call(const call&) = delete;
    call& operator=(const call&) = delete;

   private:
    specHost& host_;
  };

  // The handle of an element for the current call (null outside a call or for null).
  zvElement handle(element* e);
  // The element a handle names in the current call, or null.
  element* resolve(zvElement handle) const;

  // At most this many handles in one call; further ones are refused (null).
  static constexpr std::size_t maxHandles = 65536;

 private:
  document& doc_;
  copyDisplay copy_;
  zvHost table_{};
  std::vector<elementRef> handles_;
  std::unordered_map<const element*, std::size_t> numbers_;  // element to handle
  int depth_ = 0;

  friend struct specHostCalls;
};

// The engine's state bits for the interface's, and back.
std::uint32_t engineStates(std::uint32_t zvStates);
std::uint32_t interfaceStates(std::uint32_t engineBits);

}  // namespace zv
