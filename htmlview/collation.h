#pragma once
// The order in which the console's lists sort text: a linguistic comparison that
// ignores case, for the Latin and Cyrillic texts the documents hold.
//
// Texts compare in three steps, each deciding only when the one before found them equal:
// 1. Letters and digits by their place in the alphabet, case folded: blanks,
//    punctuation and symbols first (by code), then digits (one by one, "10" < "9"), then
//    Latin letters, then Cyrillic letters in the Russian and Ukrainian alphabet order
//    (е ё є, и і ї, г ґ), then everything else by code. Latin letters with accents
//    (Latin-1) count as their base letter here, ß as "ss". Hyphens and apostrophes
//    count for nothing, so "co-op" sorts beside "coop".
// 2. Accents: a plain letter before the same letter with an accent.
// 3. Hyphens and apostrophes: fewer first, then the folded texts by code.
// Texts that differ only in case compare equal, so a stable sort keeps their order.
//
// Thread safety: pure functions.

#include <string_view>

namespace zv {

// Negative, zero or positive as `a` sorts before, with or after `b`.
int compareLinguistic(std::u16string_view a, std::u16string_view b);

}  // namespace zv
