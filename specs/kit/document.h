#pragma once
// document: the console's page as the editors and the video panel see it, over the
// function table (zvHost) the console passes with each call.
//
// A document is made for the duration of one call and keeps only the host pointer;
// element handles are valid for that call only. Every read returns nothing when the
// host lacks the function, reports no value, or is of another interface version.

#include "specs/zvspec.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv::spec {

class document {
 public:
  explicit document(const zvHost* host) : host_(host) {}

  // The host is there and speaks this interface version.
  bool usable() const;

  // The first element matching `selector` below `root` (null root: the whole page).
  zvElement find(zvElement root, const char* selector) const;

  std::optional<std::u16string> value(zvElement element) const;
  std::optional<std::u16string> attribute(zvElement element, const char* name) const;
  std::optional<std::u16string> text(zvElement element) const;
  // The element's id, or empty.
  std::u16string id(zvElement element) const;

  bool setValue(zvElement element, std::u16string_view value) const;
  bool setAttribute(zvElement element, const char* name, std::u16string_view value) const;
  bool removeAttribute(zvElement element, const char* name) const;
  bool setHtml(zvElement element, std::u16string_view html) const;
  uint32_t state(zvElement element) const;
  bool setState(zvElement element, uint32_t set, uint32_t clear) const;
  bool copyDisplayParameters(const char* key) const;

 private:
  enum class source { value, attribute, text };
  std::optional<std::u16string> read(zvElement element, source from, const char* name) const;

  const zvHost* host_;
};

}  // namespace zv::spec
