#include "specs/specLibraries.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace zv::test {
namespace {

constexpr char16_t guard = 0xA5A5;

specLibrary load(const char* path) {
  specLibrary library;
  library.handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!library.handle) {
    ADD_FAILURE() << "cannot load " << path << ": " << ::dlerror();
    std::abort();
  }
  library.spec = static_cast<const zvSpec*>(::dlsym(library.handle, "spec"));
  library.video = static_cast<const zvVideoOps*>(::dlsym(library.handle, "video"));
  library.generateUpdateImages =
      reinterpret_cast<zvGenerateUpdateImagesFn>(::dlsym(library.handle, "generateUpdateImages"));
  return library;
}

}  // namespace

const specLibrary& library6263() {
  static const specLibrary library = load(ZV_SPEC_6_2_63);
  return library;
}

const specLibrary& library6110() {
  static const specLibrary library = load(ZV_SPEC_6_1_10);
  return library;
}

const zvOptionSpecRecord& record6263(const char* key) {
  const zvOptionSpecRecord* record = library6263().spec->find(key);
  if (!record) {
    ADD_FAILURE() << "no option " << key;
    std::abort();
  }
  return *record;
}

std::u16string fromUnits(const uint16_t* units) {
  std::u16string text;
  for (; units && *units; ++units) text.push_back(char16_t(*units));
  return text;
}

zvText textOf(std::u16string_view text) {
  return zvText{reinterpret_cast<const uint16_t*>(text.data()), text.size()};
}

outputBuffer::outputBuffer(size_t bytes, const zvOptionSpecRecord* record)
    : storage_(bytes / 2 + guardUnits + 1, guard), bytes_(bytes) {
  out_ = zvOutput{reinterpret_cast<uint16_t*>(storage_.data()), bytes, record, &written_};
}

std::u16string outputBuffer::text() const {
  return storage_.substr(0, std::min(written_, bytes_ / 2));
}

bool outputBuffer::intact() const {
  if (bytes_ >= 2 && (written_ >= bytes_ / 2 || storage_[written_] != 0)) return false;
  for (size_t i = bytes_ / 2; i < storage_.size(); ++i)
    if (storage_[i] != guard) return false;
  return true;
}

bool validates(const zvOptionSpecRecord& record, std::u16string_view value) {
  return record.processor->validate(&record, textOf(value)) != 0;
}

std::optional<std::u16string> render(const zvOptionSpecRecord& record, std::u16string_view value,
                                     bool readOnly) {
  outputBuffer out(ZV_RENDER_BUFFER_BYTES, &record);
  if (!record.processor->render(&record, out.get(), textOf(value), readOnly ? 1 : 0))
    return std::nullopt;
  return out.text();
}

void showEditor(testDocument& page, const zvOptionSpecRecord& record, std::u16string_view value,
                bool readOnly) {
  std::optional<std::u16string> html = render(record, value, readOnly);
  ASSERT_TRUE(html) << record.name;
  page.load(u"<div class=\"option_editor_outer\"><div id=\"option_editor\">" + *html +
            u"</div></div><span id=\"resultValue\"></span>");
}

std::optional<std::u16string> readEditor(testDocument& page, const zvOptionSpecRecord& record) {
  outputBuffer out(ZV_VALUE_BUFFER_BYTES, &record);
  if (!record.processor->read(&record, out.get(), page.host(), page.element("#option_editor")))
    return std::nullopt;
  return out.text();
}

int sendEvent(testDocument& page, const zvOptionSpecRecord& record, uint32_t kind,
              const char* target) {
  zvEvent event{kind, page.element(target)};
  return record.processor->event(&record, page.host(), &event);
}

}  // namespace zv::test
