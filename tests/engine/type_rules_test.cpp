#include <gtest/gtest.h>

#include "conversion/Datatype.h"
#include "conversion/TableDdl.h"

using conversion::ApplyTypeRules;

namespace {
ado::Field F(int type, long size = 50, int precision = 0, int scale = 0) {
  ado::Field f;
  f.Name = "c";
  f.Type = type;
  f.DefinedSize = size;
  f.Precision = precision;
  f.NumericScale = scale;
  return f;
}
std::string Type(int code, long size = 50, int count = 1, int p = 0, int s = 0) {
  return ApplyTypeRules(F(code, size, p, s), count).columnText;
}
}  // namespace

TEST(AdoTypeName, EnumerationAndUnknownCodes) {
  EXPECT_EQ(Datatype::AdoTypeName(202), "adVarWChar");
  EXPECT_EQ(Datatype::AdoTypeName(130), "adWChar");
  EXPECT_EQ(Datatype::AdoTypeName(135), "adDBTimeStamp");
  EXPECT_EQ(Datatype::AdoTypeName(0), "adEmpty");
  EXPECT_EQ(Datatype::AdoTypeName(1), "");
  EXPECT_EQ(Datatype::AdoTypeName(-1), "");
  int known = 0;
  for (int c = -200; c < 400; ++c)
    if (!Datatype::AdoTypeName(static_cast<short>(c)).empty()) ++known;
  EXPECT_EQ(known, 39);
}

TEST(TypeRules, EachNameGetsItsRuleInOrder) {
  EXPECT_EQ(Type(202), " BLOB SUB_TYPE TEXT, ");
  EXPECT_EQ(Type(203), " BLOB SUB_TYPE TEXT, ");
  EXPECT_EQ(Type(200, 40), " VARCHAR(40), ");
  EXPECT_EQ(Type(130, 10), " VARCHAR(10), ");  // adWChar is not "varwchar"
  EXPECT_EQ(Type(201, 2147483647), " VARCHAR(32000), ");
  EXPECT_EQ(Type(205, 2147483647, 2), " VARCHAR(16000), ");
  EXPECT_EQ(Type(5), " DOUBLE PRECISION, ");
  for (int c : {2, 16, 17, 18}) EXPECT_EQ(Type(c), " SMALLINT, ") << c;
  for (int c : {3, 19, 20, 21}) EXPECT_EQ(Type(c), " INTEGER, ") << c;  // adBigInt too
  EXPECT_EQ(Type(131, 0, 1, 10, 2), " NUMERIC(10, 2), ");
  EXPECT_EQ(Type(139, 0, 1, 5, 1), " NUMERIC(5, 1), ");
  EXPECT_EQ(Type(14, 0, 1, 12, 3), " DECIMAL(12, 3), ");
  EXPECT_EQ(Type(7), " DATE, ");
  EXPECT_EQ(Type(133), " DATE, ");
  EXPECT_EQ(Type(135), " TIMESTAMP, ");
  EXPECT_EQ(Type(11), " SMALLINT, ");
  EXPECT_EQ(Type(4, 24), " VARCHAR(24), ");  // adSingle: no rule of its own
  EXPECT_EQ(Type(134, 16), " VARCHAR(16), ");
  EXPECT_EQ(Type(1, 34), " VARCHAR(34), ");  // unknown code
}

TEST(TypeRules, KeywordsShownForTheDatatypeList) {
  auto k = [](int code) {
    auto c = ApplyTypeRules(F(code, 20, 19, 4), 1);
    return c.keyword + "|" + c.firebirdType + "|" + (c.numeric ? "n" : "-");
  };
  EXPECT_EQ(k(16), "smallint|SMALLINT|n");
  EXPECT_EQ(k(3), "int|INTEGER|n");
  EXPECT_EQ(k(131), "currency|NUMERIC|n");
  EXPECT_EQ(k(6), "currency|NUMERIC|n");
  EXPECT_EQ(k(14), "decimal|DECIMAL|n");
  EXPECT_EQ(k(135), "timestamp|TIMESTAMP|-");
  EXPECT_EQ(k(11), "bool|SMALLINT|n");
  EXPECT_EQ(k(202), "varwchar|BLOB SUB_TYPE TEXT|-");
  EXPECT_EQ(k(201), "longvar|VARCHAR(20)|-");
  EXPECT_EQ(k(72), "OTHER TYPES|VARCHAR(20)|-");
}

TEST(TypeRules, CharacterCapFollowsColumnCount) {
  EXPECT_EQ(conversion::CharacterLength(5000, 40), 800);
  EXPECT_EQ(conversion::CharacterLength(800, 40), 800);
  EXPECT_EQ(conversion::CharacterLength(801, 40), 800);
  EXPECT_EQ(conversion::CharacterLength(10666, 3), 10666);
  EXPECT_EQ(conversion::CharacterLength(10667, 3), 10666);
  EXPECT_EQ(conversion::CharacterLength(2147483647, 1), 32000);
}

TEST(TypeRules, ExactNumericsFitFirebird) {
  // money arrives as DECIMAL(19, 4); Firebird holds 18 digits at most.
  EXPECT_EQ(Type(131, 0, 1, 19, 4), " NUMERIC(18, 4), ");
  EXPECT_EQ(Type(14, 0, 1, 38, 30), " DECIMAL(18, 18), ");
  EXPECT_EQ(Type(131, 0, 1, 0, 0), " NUMERIC(18, 0), ");
}

TEST(Identifiers, QuotesAndBracketsAreDoubled) {
  EXPECT_EQ(conversion::QuoteIdentifier("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(conversion::SelectAllText("x]y"), "SELECT * FROM [x]]y]");
  EXPECT_EQ(conversion::DropTableText("My \"T\""), "DROP TABLE \"My \"\"T\"\"\";");
}
