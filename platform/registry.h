#pragma once
// The registry stores: typed values under backslash-separated key paths, kept in a
// plain text file that administrators may read and edit by hand.
//
//   # comments start with '#'
//   [Software\Zelvar]
//   Programs = sz:/opt/zelvar
//   httpboot = dword:1
//   BindIP = multi:192.168.1.5,10.0.0.1
//   @ = sz:/opt/zelvar
//
// Key paths and value names compare without regard to the case of ASCII letters; '@'
// names the key's default value. A line that does not parse is logged and skipped
// when reading, and kept verbatim when the file is written back, so a hand-edited or
// damaged file never takes the rest of the store down and nothing of it is lost.
//
// Every operation reads the file afresh, so changes made by another process are seen
// at once; every change is a read-modify-write under an advisory lock on a sibling
// ".lock" file and is written atomically (temporary file + rename).
//
// Thread safety: a registryStore may be used from any thread; operations on one store
// are serialised by its mutex.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

enum class regType { sz, dword, multi };

struct regValue {
  regType type = regType::sz;
  std::string text;               // sz
  uint32_t number = 0;            // dword
  std::vector<std::string> list;  // multi

  static regValue string(std::string text);
  static regValue dword(uint32_t number);
  static regValue multi(std::vector<std::string> list);
  bool operator==(const regValue&) const = default;
};

enum class regStatus {
  ok,
  noKey,      // the key does not exist
  noValue,    // the key exists, the value does not
  wrongType,  // the value exists with another type
  failed,     // the store could not be read or written
};

class registryStore {
 public:
  // A private store (one user's settings) creates its directory 0700.
  explicit registryStore(std::string path, bool privateDirectory = false);

  // HKLM: ZELVAR_HKLM, or /etc/zelvar/registry.conf.
  static registryStore& localMachine();
  // HKCU: ZELVAR_HKCU, or $XDG_CONFIG_HOME/zelvar/registry.conf (~/.config when unset).
  static registryStore& currentUser();

  std::string path() const;
  // Points the store at another file (tests of code that uses the process-wide stores).
  void setPath(std::string path);

  bool keyExists(std::string_view key);
  regStatus query(std::string_view key, std::string_view name, regValue& value);
  regStatus queryString(std::string_view key, std::string_view name, std::string& text);
  regStatus queryDword(std::string_view key, std::string_view name, uint32_t& number);
  regStatus queryMulti(std::string_view key, std::string_view name, std::vector<std::string>& list);
  // Names of the key's values in file order ("@" for the default value).
  std::vector<std::string> valueNames(std::string_view key);

  // Creates the key if needed and sets the value. False when the name or the data
  // cannot be written in the file's form (a line break, '=' or '[' in a name) or the
  // file cannot be written.
  bool set(std::string_view key, std::string_view name, const regValue& value);
  bool createKey(std::string_view key);
  regStatus deleteValue(std::string_view key, std::string_view name);
  // Removes the key with its values (sub-keys, being other sections, stay).
  regStatus deleteKey(std::string_view key);

 private:
  struct document;
  bool load(document& doc);
  bool save(const document& doc);

  std::string path_;
  // The per-user store: its directory is created 0700.
  bool privateDirectory_ = false;
  mutable std::mutex mutex_;
};

// The text form of one value after "name = ", and its parser (for tests and tools).
std::string formatRegValue(const regValue& value);
bool parseRegValue(std::string_view data, regValue& value);

}  // namespace zv
