#include "common/versionSpec.h"

#include "platform/diagnostics.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace zv {
namespace {

// The longest version name a library may report ("6.2.63" and the like are far shorter).
constexpr std::size_t maxVersionNameLength = 63;

// A table the console can call without crashing: every operation present and a short,
// non-empty version name.
bool isUsableTable(const zvSpec* table) {
  if (!table || !table->count || !table->get || !table->find || !table->version) return false;
  std::size_t length = ::strnlen(table->version, maxVersionNameLength + 1);
  return length > 0 && length <= maxVersionNameLength;
}

}  // namespace

std::size_t versionSpec::count() const {
  return table && table->count ? table->count() : 0;
}

const zvOptionSpecRecord* versionSpec::get(std::size_t index) const {
  if (!table || !table->get || index >= count()) return nullptr;
  return table->get(static_cast<uint32_t>(index));
}

const zvOptionSpecRecord* versionSpec::find(std::string_view key) const {
  if (!table || !table->find) return nullptr;
  std::string terminated(key);
  return table->find(terminated.c_str());
}

std::u16string versionSpec::defaultValue(const zvOptionSpecRecord& record) {
  return fromZvString(record.defaultValue);
}

std::u16string versionSpec::manual(const zvOptionSpecRecord& record) {
  return fromZvString(record.manual);
}

bool versionSpec::validate(const zvOptionSpecRecord& record, std::u16string_view value) {
  // An option whose library gives no validator takes every value: flagging every value
  // of it as invalid would only hide the real problems of a configuration.
  if (!record.processor || !record.processor->validate) return true;
  return record.processor->validate(&record, asZvText(value)) != 0;
}

std::u16string versionSpec::render(const zvOptionSpecRecord& record, std::u16string_view value,
                                   bool readOnly) {
  if (!record.processor || !record.processor->render) return {};
  constexpr std::size_t units = ZV_RENDER_BUFFER_BYTES / sizeof(uint16_t);
  std::vector<uint16_t> block(units, 0);
  std::size_t written = 0;
  zvOutput out{block.data(), ZV_RENDER_BUFFER_BYTES, &record, &written};
  if (!record.processor->render(&record, &out, asZvText(value), readOnly ? 1 : 0)) return {};
  // Trust neither the count nor the terminator alone: the text ends at whichever comes
  // first, and never past the block.
  std::size_t length = std::min(written, units - 1);
  auto end = std::find(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(length), 0);
  return std::u16string(block.begin(), end);
}

std::u16string fromZvString(const uint16_t* units) {
  if (!units) return {};
  std::size_t length = 0;
  while (units[length] != 0) ++length;
  return std::u16string(units, units + length);
}

std::unique_ptr<versionSpec> loadVersionSpec(const std::string& directory) {
  const std::string path = directory + "spec.so";
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) return nullptr;

  errno = 0;
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    // dlopen sets no errno for a file that is no library; the loader's text says why,
    // in the same line so that the two are never read apart.
    int error = errno != 0 ? errno : ENOEXEC;
    const char* reason = ::dlerror();
    logMessage("Error while library %s load: %d. %s", path.c_str(), error,
               reason ? reason : "dlopen failed without a reason");
    errno = error;
    ZV_INTERNAL_ERROR();
    return nullptr;
  }

  ::dlerror();
  const auto* table = static_cast<const zvSpec*>(::dlsym(library, "spec"));
  if (!table) {
    logMessage("Library %s has no \"spec\" export.", path.c_str());
    ZV_INTERNAL_ERROR();
    ::dlclose(library);
    return nullptr;
  }
  if (!isUsableTable(table)) {
    logMessage("Library %s has a malformed \"spec\" table.", path.c_str());
    ZV_INTERNAL_ERROR();
    ::dlclose(library);
    return nullptr;
  }

  auto spec = std::make_unique<versionSpec>();
  spec->name = table->version;
  spec->table = table;
  const auto* video = static_cast<const zvVideoOps*>(::dlsym(library, "video"));
  if (video && !(video->fill && video->collect && video->event && video->showModes)) {
    logMessage("Library %s has an incomplete \"video\" table.", path.c_str());
    video = nullptr;
  }
  spec->video = video;
  // dlsym gives data pointers; POSIX guarantees they convert to function pointers.
  void* generate = ::dlsym(library, "generateUpdateImages");
  spec->generateUpdateImages = reinterpret_cast<zvGenerateUpdateImagesFn>(generate);
  // The library stays loaded for the rest of the run: its records are borrowed.
  return spec;
}

}  // namespace zv
