#pragma once
// optionList: the ordered key/value list behind every configuration scope — a
// terminal's general options, a connection's corrective options, a template, a library
// connection.
//
// At most 200 entries, kept in insertion order, which is also the order they are saved
// in. Keys are 8-bit ASCII and looked up without regard to ASCII letter case; an entry
// keeps the letter case of the key it was first added under. The list's kind is a
// section mask (1 general, 2 connection): with a specification, only options whose
// record shares a bit with it are taken.
//
// A list never holds what its text form could not carry back: a layout word as a key, a
// one-character key, or a value that would read back differently (see
// representableOption). Plain value type; one thread at a time.

#include "specs/zvspec.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

struct versionSpec;

constexpr std::size_t maxListOptions = 200;

struct configOption {
  std::string key;
  std::u16string value;
  bool operator==(const configOption&) const = default;
};

// What validateOptions found, one list per kind of problem; each holds copies of the
// options concerned in list order.
struct optionProblems {
  std::vector<configOption> unknown;       // keys the specification does not know
  std::vector<configOption> wrongSection;  // known, but not allowed in this list's kind
  std::vector<configOption> invalid;       // values the option's processor rejects
  bool empty() const { return unknown.empty() && wrongSection.empty() && invalid.empty(); }
  void clear();
};

// True when 'key=value' written as a line of a configuration file (optionLine) reads
// back as exactly this pair: an ASCII key of at most 63 characters with no blank, '=' or
// '#' (an empty key is the line '=value'); a value without CR, LF or '#', not starting
// with a blank or '=', not ending with a blank; the line within 4095 code units. This is
// exactly the set of pairs the reader can produce.
bool representableOption(std::string_view key, std::u16string_view value);

// "template", "first", "next", "connection", "M2_next" (any ASCII case): lines of the
// screen layout, never option keys.
bool isLayoutKey(std::string_view key);

class optionList {
 public:
  explicit optionList(std::uint32_t kind = ZV_SECTION_GENERAL) : kind_(kind) {}

  std::uint32_t kind() const { return kind_; }

  // Stores the pair. With a specification the key must be known (an unknown key is an
  // internal error) and allowed in this kind (refused quietly otherwise). Layout words,
  // one-character keys and pairs that cannot be written back are refused. An existing key
  // gets the new value; a new one is appended. A 201st entry is an internal error and is
  // dropped, but the call still succeeds.
  bool set(std::string_view key, std::u16string_view value, const versionSpec* spec = nullptr);

  // The own value; else the specification's default; else "".
  std::u16string get(std::string_view key, const versionSpec* spec = nullptr) const;
  // The own value, or null.
  const std::u16string* find(std::string_view key) const;
  bool contains(std::string_view key) const { return find(key) != nullptr; }

  // Removes the entry with that key; later entries move up. False when there was none.
  bool remove(std::string_view key);
  void clear() { entries_.clear(); }

  // Classifies every option against the specification (see optionProblems). Without a
  // specification everything passes. True when nothing was found.
  bool validateOptions(const versionSpec* spec, optionProblems& problems) const;

  // When the kinds share a bit: sets every option of `other` here (no specification).
  void copyOptionsFrom(const optionList& other);
  // When the kinds share a bit: removes every key of `other` from here.
  void removeOptionsOf(const optionList& other);

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const std::vector<configOption>& entries() const { return entries_; }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // Every option as 'key=value' CR LF, in list order.
  std::vector<std::u16string> lines() const;

  bool operator==(const optionList&) const = default;

 private:
  std::vector<configOption> entries_;
  std::uint32_t kind_;
};

}  // namespace zv
