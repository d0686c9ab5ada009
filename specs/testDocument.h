#pragma once
// A small page for the option libraries' tests, reached by the libraries through the
// zvHost function table exactly as the console's page is.
//
// It reads the libraries' plain HTML (elements, attributes with or without values,
// entities, void elements, comments), answers the selectors they use (type, #id, .class,
// [attr], [attr=value], descendants and lists) and keeps control values as the console's
// engine does: a select's value is that of its selected option (else its first), a check
// box reads "on" or "", a field its typed text or its value attribute. One thread.

#include "specs/zvspec.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::test {

class testDocument {
 public:
  testDocument();
  ~testDocument();
  testDocument(const testDocument&) = delete;
  testDocument& operator=(const testDocument&) = delete;

  const zvHost* host() const { return &host_; }

  // Replaces the whole page with `html`.
  void load(std::u16string_view html);

  // The first element matching `selector`, or null.
  zvElement element(const char* selector) const;
  bool has(const char* selector) const { return element(selector) != nullptr; }
  std::u16string value(const char* selector) const;
  std::optional<std::u16string> attribute(const char* selector, const char* name) const;
  std::u16string text(const char* selector) const;
  uint32_t state(const char* selector) const;
  // Values of the "option" elements below `selector`, in order.
  std::vector<std::u16string> optionValues(const char* selector) const;
  // What the user does: picks an option, types a text, ticks a check box ("on").
  void setValue(const char* selector, std::u16string_view value);
  // Removes the element from the page.
  void remove(const char* selector);

  // Keys the library asked to compose with copyDisplayParameters, and the answer given.
  std::vector<std::string> copyRequests;
  int copyAnswer = 1;

  struct node;

 private:
  std::unique_ptr<node> root_;
  zvHost host_;
};

}  // namespace zv::test
