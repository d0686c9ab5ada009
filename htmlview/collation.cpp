// Linguistic, case-blind comparison of Latin and Cyrillic text.
#include "htmlview/collation.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zv {
namespace {

// Primary weight bands, in sort order.
constexpr std::uint32_t bandSymbol = 0x10000;
constexpr std::uint32_t bandDigit = 0x20000;
constexpr std::uint32_t bandLatin = 0x30000;
constexpr std::uint32_t bandCyrillic = 0x40000;
constexpr std::uint32_t bandOther = 0x50000;

bool isIgnorable(char16_t c) {
  return c == u'-' || c == u'\'' || c == 0x00AD || c == 0x2010 || c == 0x2011 || c == 0x2019;
}

char16_t fold(char16_t c) {
  if (c >= u'A' && c <= u'Z') return char16_t(c + 0x20);
  if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return char16_t(c + 0x20);
  if (c >= 0x0410 && c <= 0x042F) return char16_t(c + 0x20);
  if (c >= 0x0400 && c <= 0x040F) return char16_t(c + 0x50);
  if (c == 0x0490) return 0x0491;  // Ґ
  if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return char16_t(c + 0x20);
  return c;
}

// Latin-1 letters: the base letter and the accent's rank.
struct accented {
  char16_t base;
  std::uint8_t accent;
};

// U+00E0 .. U+00FF, folded; base 0 for the two that are no letters.
constexpr std::array<accented, 32> latin1{{
    {u'a', 1}, {u'a', 2}, {u'a', 3}, {u'a', 4}, {u'a', 5}, {u'a', 6}, {u'a', 7},  // à á â ã ä å æ
    {u'c', 1},                                                                    // ç
    {u'e', 1}, {u'e', 2}, {u'e', 3}, {u'e', 4},                                   // è é ê ë
    {u'i', 1}, {u'i', 2}, {u'i', 3}, {u'i', 4},                                   // ì í î ï
    {u'd', 1}, {u'n', 1},                                                         // ð ñ
    {u'o', 1}, {u'o', 2}, {u'o', 3}, {u'o', 4}, {u'o', 5},                        // ò ó ô õ ö
    {0, 0},                                                                       // ÷
    {u'o', 6},                                                                    // ø
    {u'u', 1}, {u'u', 2}, {u'u', 3}, {u'u', 4},                                   // ù ú û ü
    {u'y', 1}, {0, 0},    {u'y', 2},                                              // ý þ ÿ
}};

// The Cyrillic letters (lower case) in alphabet order.
constexpr std::u16string_view cyrillicOrder = u"абвгґдђѓеёєжзѕиіїйјклљмнњопрстћќуўфхцчџшщъыьэюя";

// Place in cyrillicOrder of U+0430 .. U+045F, plus one; 0 for none.
const std::array<std::uint8_t, 0x30>& cyrillicPlaces() {
  static const std::array<std::uint8_t, 0x30> places = [] {
    std::array<std::uint8_t, 0x30> p{};
    for (std::size_t i = 0; i < cyrillicOrder.size(); ++i) {
      char16_t c = cyrillicOrder[i];
      if (c >= 0x0430 && c < 0x0460) p[c - 0x0430] = std::uint8_t(i + 1);
    }
    return p;
  }();
  return places;
}

struct weight {
  std::uint32_t primary;
  std::uint8_t accent;
};

weight weigh(char16_t c) {
  if (c >= u'0' && c <= u'9') return {bandDigit + (c - u'0'), 0};
  if (c >= u'a' && c <= u'z') return {bandLatin + std::uint32_t(c - u'a') * 2, 0};
  if (c >= 0x00E0 && c <= 0x00FF && latin1[c - 0x00E0].base != 0) {
    const accented& a = latin1[c - 0x00E0];
    return {bandLatin + std::uint32_t(a.base - u'a') * 2, a.accent};
  }
  if (c == 0x0491) {
    // ґ lies outside the block the table covers.
    return {bandCyrillic + std::uint32_t(cyrillicOrder.find(char16_t(0x0491)) + 1), 0};
  }
  if (c >= 0x0430 && c < 0x0460 && cyrillicPlaces()[c - 0x0430] != 0) {
    return {bandCyrillic + cyrillicPlaces()[c - 0x0430], 0};
  }
  if (c < 0x80 || (c >= 0x00A0 && c <= 0x00BF) || c == 0x00D7 || c == 0x00F7 ||
      (c >= 0x2000 && c <= 0x206F)) {
    return {bandSymbol + c, 0};
  }
  return {bandOther + c, 0};
}

struct collationKey {
  std::vector<std::uint32_t> primary;
  std::vector<std::uint8_t> accents;
  std::size_t ignorables = 0;
  std::u16string folded;
};

collationKey keyOf(std::u16string_view text) {
  collationKey k;
  k.primary.reserve(text.size());
  k.accents.reserve(text.size());
  k.folded.reserve(text.size());
  for (char16_t raw : text) {
    char16_t c = fold(raw);
    k.folded += c;
    if (isIgnorable(c)) {
      ++k.ignorables;
      continue;
    }
    if (c == 0x00DF) {
      // ß sorts as "ss", after it among equals.
      k.primary.insert(k.primary.end(), 2, bandLatin + std::uint32_t(u's' - u'a') * 2);
      k.accents.push_back(0);
      k.accents.push_back(9);
      continue;
    }
    weight w = weigh(c);
    k.primary.push_back(w.primary);
    k.accents.push_back(w.accent);
  }
  return k;
}

template <class T>
int compareSequences(const T& a, const T& b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return 0;
}

}  // namespace

int compareLinguistic(std::u16string_view a, std::u16string_view b) {
  if (a == b) return 0;
  collationKey ka = keyOf(a);
  collationKey kb = keyOf(b);
  if (int c = compareSequences(ka.primary, kb.primary)) return c;
  if (int c = compareSequences(ka.accents, kb.accents)) return c;
  if (ka.ignorables != kb.ignorables) return ka.ignorables < kb.ignorables ? -1 : 1;
  return compareSequences(ka.folded, kb.folded);
}

}  // namespace zv
