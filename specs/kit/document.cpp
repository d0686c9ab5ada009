#include "specs/kit/document.h"

#include "specs/kit/text.h"

#include <vector>

namespace zv::spec {

bool document::usable() const {
  return host_ && host_->abiVersion == ZV_SPEC_ABI_VERSION;
}

zvElement document::find(zvElement root, const char* selector) const {
  if (!usable() || !host_->selectFirst) return nullptr;
  return host_->selectFirst(host_->context, root, selector);
}

// Reads a value, an attribute or the text into a buffer that grows when the host reports
// a longer text than fits.
std::optional<std::u16string> document::read(zvElement element, source from,
                                             const char* name) const {
  if (!usable() || !element) return std::nullopt;
  std::vector<uint16_t> buffer(256);
  for (int attempt = 0; attempt < 3; ++attempt) {
    long length = -1;
    if (from == source::value && host_->getValue)
      length = host_->getValue(host_->context, element, buffer.data(), buffer.size());
    else if (from == source::attribute && host_->getAttribute)
      length = host_->getAttribute(host_->context, element, name, buffer.data(), buffer.size());
    else if (from == source::text && host_->getText)
      length = host_->getText(host_->context, element, buffer.data(), buffer.size());
    if (length < 0) return std::nullopt;
    if (size_t(length) < buffer.size()) return fromText(zvText{buffer.data(), size_t(length)});
    buffer.assign(size_t(length) + 1, 0);
  }
  return std::nullopt;
}

std::optional<std::u16string> document::value(zvElement element) const {
  return read(element, source::value, nullptr);
}

std::optional<std::u16string> document::attribute(zvElement element, const char* name) const {
  return read(element, source::attribute, name);
}

std::optional<std::u16string> document::text(zvElement element) const {
  return read(element, source::text, nullptr);
}

std::u16string document::id(zvElement element) const {
  return attribute(element, "id").value_or(u"");
}

bool document::setValue(zvElement element, std::u16string_view value) const {
  if (!usable() || !element || !host_->setValue) return false;
  return host_->setValue(host_->context, element, asText(value)) != 0;
}

bool document::setAttribute(zvElement element, const char* name, std::u16string_view value) const {
  if (!usable() || !element || !host_->setAttribute) return false;
  zvText text = asText(value);
  return host_->setAttribute(host_->context, element, name, &text) != 0;
}

bool document::removeAttribute(zvElement element, const char* name) const {
  if (!usable() || !element || !host_->setAttribute) return false;
  return host_->setAttribute(host_->context, element, name, nullptr) != 0;
}

bool document::setHtml(zvElement element, std::u16string_view html) const {
  if (!usable() || !element || !host_->setInnerHtml) return false;
  return host_->setInnerHtml(host_->context, element, asText(html)) != 0;
}

uint32_t document::state(zvElement element) const {
  if (!usable() || !element || !host_->getState) return 0;
  return host_->getState(host_->context, element);
}

bool document::setState(zvElement element, uint32_t set, uint32_t clear) const {
  if (!usable() || !element || !host_->setState) return false;
  return host_->setState(host_->context, element, set, clear) != 0;
}

bool document::copyDisplayParameters(const char* key) const {
  if (!usable() || !host_->copyDisplayParameters) return false;
  return host_->copyDisplayParameters(host_->context, key) != 0;
}

}  // namespace zv::spec
