#pragma once
// The built option libraries, loaded once by path for the tests (never unloaded, as in
// the console), and small helpers that call a record's operations with std:: texts.

#include "specs/testDocument.h"
#include "specs/zvspec.h"

#include <optional>
#include <string>
#include <string_view>

namespace zv::test {

struct specLibrary {
  void* handle = nullptr;
  const zvSpec* spec = nullptr;
  const zvVideoOps* video = nullptr;
  zvGenerateUpdateImagesFn generateUpdateImages = nullptr;
};

// Bin/6.2.63/spec.so and Bin/6.1.10/spec.so of the build; abort the test when missing.
const specLibrary& library6263();
const specLibrary& library6110();

// The record of `key` in the 6.2.63 library; the test fails when there is none.
const zvOptionSpecRecord& record6263(const char* key);

std::u16string fromUnits(const uint16_t* units);
zvText textOf(std::u16string_view text);

// An output buffer of `bytes` bytes with a guard area after it that must stay untouched.
class outputBuffer {
 public:
  explicit outputBuffer(size_t bytes, const zvOptionSpecRecord* record = nullptr);
  outputBuffer(const outputBuffer&) = delete;  // the output points into the object
  outputBuffer& operator=(const outputBuffer&) = delete;
  zvOutput* get() { return &out_; }
  std::u16string text() const;
  size_t written() const { return written_; }
  // The block holds a terminator at `written` and the guard area is intact.
  bool intact() const;

 private:
  static constexpr size_t guardUnits = 16;
  std::u16string storage_;
  size_t bytes_;
  size_t written_ = size_t(-1);
  zvOutput out_;
};

bool validates(const zvOptionSpecRecord& record, std::u16string_view value);
// The rendered HTML, or nothing when render reported failure.
std::optional<std::u16string> render(const zvOptionSpecRecord& record, std::u16string_view value,
                                     bool readOnly = false);
// Renders `value` into a page as the options editor does (inside div#option_editor).
void showEditor(testDocument& page, const zvOptionSpecRecord& record, std::u16string_view value,
                bool readOnly = false);
// The value the editor on the page holds, or nothing when read reported failure.
std::optional<std::u16string> readEditor(testDocument& page, const zvOptionSpecRecord& record);
int sendEvent(testDocument& page, const zvOptionSpecRecord& record, uint32_t kind,
              const char* target);

}  // namespace zv::test
