#include "specs/6.2.63/updateImages.h"

#include "specs/kit/optionTable.h"
#include "specs/kit/text.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace fs = std::filesystem;

namespace zv::spec::v6263 {
namespace {

struct fileEntry {
  std::string path;  // below the target, '/'-separated
  std::string digest;
  uint64_t size = 0;
};

class descriptor {
 public:
  explicit descriptor(int fd) : fd_(fd) {}
  ~descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  descriptor(const descriptor&) = delete;
  descriptor& operator=(const descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded.
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    ssize_t done = ::write(fd, data, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    size -= size_t(done);
  }
  return true;
}

std::string hex(const unsigned char* bytes, unsigned size) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < size; ++i) {
    text.push_back(digits[bytes[i] >> 4]);
    text.push_back(digits[bytes[i] & 15]);
  }
  return text;
}

// Copies a file and computes its SHA-256 on the way; the copy is flushed to disk.
std::optional<fileEntry> copyHashed(const fs::path& from, const fs::path& to) {
  descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (in.get() < 0 || out.get() < 0) return std::nullopt;
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> hash(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!hash || EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
  std::vector<unsigned char> buffer(1 << 16);
  fileEntry entry;
  for (;;) {
    ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    if (EVP_DigestUpdate(hash.get(), buffer.data(), size_t(got)) != 1) return std::nullopt;
    if (!writeAll(out.get(), buffer.data(), size_t(got))) return std::nullopt;
    entry.size += uint64_t(got);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_DigestFinal_ex(hash.get(), digest, &length) != 1) return std::nullopt;
  if (::fsync(out.get()) != 0 || !out.close()) return std::nullopt;
  entry.digest = hex(digest, length);
  return entry;
}

// A name that the list's one-line-per-file form can hold.
bool listable(const std::string& path) {
  return std::none_of(path.begin(), path.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

class imageWriter {
 public:
  imageWriter(fs::path source, fs::path staging)
      : source_(std::move(source)), staging_(std::move(staging)) {}

  bool copy(const fs::path& from, const std::string& relative) {
    if (!listable(relative)) return false;
    std::error_code error;
    fs::path to = staging_ / relative;
    fs::create_directories(to.parent_path(), error);
    if (error) return false;
    std::optional<fileEntry> entry = copyHashed(from, to);
    if (!entry) return false;
    entry->path = relative;
    files_.push_back(std::move(*entry));
    return true;
  }

  // zelvar.pxe and the plain files of packages/ into pc/.
  bool copyPcFiles() {
    if (!copy(source_ / "zelvar.pxe", "pc/zelvar.pxe")) return false;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(source_ / "packages", error)) {
      if (!entry.is_regular_file(error)) continue;
      if (!copy(entry.path(), "pc/" + entry.path().filename().string())) return false;
    }
    return !error;
  }

  // Everything below pi2/ into pi2/.
  bool copyPiFiles() {
    std::error_code error;
    fs::path root = source_ / "pi2";
    fs::recursive_directory_iterator walk(root, error), end;
    for (; !error && walk != end; walk.increment(error)) {
      if (!walk->is_regular_file(error)) continue;
      if (!copy(walk->path(), "pi2/" + walk->path().lexically_relative(root).generic_string()))
        return false;
    }
    return !error;
  }

  bool writeList(std::string_view version) {
    std::sort(files_.begin(), files_.end(),
              [](const fileEntry& a, const fileEntry& b) { return a.path < b.path; });
    std::string text = "version " + std::string(version) + "\n";
    for (const fileEntry& file : files_)
      text += file.digest + " " + std::to_string(file.size) + " " + file.path + "\n";
    fs::path path = staging_ / updateListName;
    descriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    return out.get() >= 0 &&
           writeAll(out.get(), reinterpret_cast<const unsigned char*>(text.data()), text.size()) &&
           ::fsync(out.get()) == 0 && out.close();
  }

 private:
  fs::path source_;
  fs::path staging_;
  std::vector<fileEntry> files_;
};

// A new directory beside `target` named after it, for building or setting aside.
std::optional<fs::path> siblingDirectory(const fs::path& target, const char* purpose) {
  std::string pattern =
      (target.parent_path() / ("." + target.filename().string() + "." + purpose + ".XXXXXX"))
          .string();
  if (!::mkdtemp(pattern.data())) return std::nullopt;
  return fs::path(pattern);
}

// Moves the finished images to `target`, replacing an earlier target only now.
bool publish(const fs::path& staging, const fs::path& target) {
  if (::rename(staging.c_str(), target.c_str()) == 0) return true;
  if (errno != ENOTEMPTY && errno != EEXIST) return false;
  std::optional<fs::path> aside = siblingDirectory(target, "old");
  if (!aside) return false;
  if (::rename(target.c_str(), aside->c_str()) != 0) {
    std::error_code ignored;
    fs::remove(*aside, ignored);
    return false;
  }
  if (::rename(staging.c_str(), target.c_str()) != 0) {
    ::rename(aside->c_str(), target.c_str());
    return false;
  }
  std::error_code ignored;
  fs::remove_all(*aside, ignored);
  return true;
}

fs::path withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return fs::path(path);
}

}  // namespace

bool makeUpdateImages(const std::string& sourceText, const std::string& targetText) {
  if (sourceText.empty() || targetText.empty()) return false;
  fs::path source = withoutTrailingSlash(sourceText);
  fs::path target = withoutTrailingSlash(targetText);
  std::error_code error;
  bool pcFiles = fs::is_regular_file(source / "zelvar.pxe", error) &&
                 fs::is_directory(source / "packages", error);
  bool piFiles = fs::is_directory(source / "pi2", error);
  if (!pcFiles && !piFiles) return false;
  if (fs::exists(target, error) && !fs::is_directory(target, error)) return false;
  if (target.has_parent_path()) {
    std::error_code made;
    fs::create_directories(target.parent_path(), made);
    if (made) return false;
  }

  std::optional<fs::path> staging = siblingDirectory(target, "partial");
  if (!staging) return false;
  imageWriter writer(source, *staging);
  bool done = (!pcFiles || writer.copyPcFiles()) && (!piFiles || writer.copyPiFiles()) &&
              writer.writeList("6.2.63") && publish(*staging, target);
  if (!done) fs::remove_all(*staging, error);
  return done;
}

}  // namespace zv::spec::v6263

extern "C" ZV_SPEC_EXPORT int generateUpdateImages(const uint16_t* source, const uint16_t* target);
static_assert(std::is_same_v<decltype(&generateUpdateImages), zvGenerateUpdateImagesFn>);

extern "C" int generateUpdateImages(const uint16_t* source, const uint16_t* target) {
  try {
    if (!source || !target) return 0;
    auto path = [](const uint16_t* units) {
      size_t length = 0;
      while (units[length]) ++length;
      return zv::spec::toUtf8(zv::spec::fromText(zvText{units, length}));
    };
    std::optional<std::string> from = path(source);
    std::optional<std::string> to = path(target);
    return from && to && zv::spec::v6263::makeUpdateImages(*from, *to);
  } catch (...) {
    return 0;
  }
}
