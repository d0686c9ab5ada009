#include "htmlview/collation.h"

#include <gtest/gtest.h>

namespace zv {
namespace {

int sign(int v) {
  return (v > 0) - (v < 0);
}

// Pairs in order, equal pairs, and the reverse of each.
TEST(Collation, LinguisticOrderIgnoringCase) {
  struct pair {
    std::u16string_view a;
    std::u16string_view b;
    int order;
  };
  const pair cases[] = {
      {u"abc", u"ABC", 0},     {u"Zebra", u"apple", 1}, {u"a", u"ab", -1},
      {u"9", u"a", -1},        {u"10", u"9", -1},       {u" x", u"1", -1},
      {u"_", u"0", -1},        {u"z", u"а", -1},        {u"е", u"ё", -1},
      {u"ё", u"ж", -1},        {u"Ёлка", u"ель", 1},    {u"ЁЛКА", u"ёлка", 0},
      {u"жук", u"Жук", 0},     {u"и", u"і", -1},        {u"і", u"ї", -1},
      {u"ї", u"й", -1},        {u"г", u"ґ", -1},        {u"ґ", u"д", -1},
      {u"є", u"ж", -1},        {u"ё", u"є", -1},        {u"я", u"α", -1},
      {u"e", u"é", -1},        {u"é", u"f", -1},        {u"Éclair", u"eclair", 1},
      {u"coop", u"co-op", -1}, {u"co-op", u"cop", -1},  {u"it's", u"its", 1},
      {u"", u"a", -1},         {u"", u"", 0},           {u"straße", u"strasse", 1},
  };
  for (const pair& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_EQ(sign(compareLinguistic(c.a, c.b)), c.order);
    EXPECT_EQ(sign(compareLinguistic(c.b, c.a)), -c.order);
  }
}

}  // namespace
}  // namespace zv
