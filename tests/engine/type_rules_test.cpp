#include <gtest/gtest.h>

#include "connectivity/core/ConnString.h"
#include "conversion/Datatype.h"
#include "conversion/Names.h"
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
std::string Type(int code, long size = 50, int p = 0, int s = 0) {
  return ApplyTypeRules(F(code, size, p, s)).columnText;
}
// The classic rules, as they were before Firebird's own types.
std::string Classic(int code, long size = 50, int p = 0, int s = 0) {
  return ApplyTypeRules(F(code, size, p, s), conversion::TypeRules::Classic).columnText;
}
const char* const kText = " BLOB SUB_TYPE TEXT CHARACTER SET UTF8, ";
const char* const kBinary = " BLOB SUB_TYPE BINARY, ";
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
  // National text of a length is a VARCHAR; without one (nvarchar(max), ntext) a blob.
  EXPECT_EQ(Type(202), " VARCHAR(50) CHARACTER SET UTF8, ");
  EXPECT_EQ(Type(202, 1073741823), kText);
  EXPECT_EQ(Type(203), kText);
  EXPECT_EQ(Type(200, 40), " VARCHAR(40) CHARACTER SET UTF8, ");
  EXPECT_EQ(Type(130, 10), " VARCHAR(10) CHARACTER SET UTF8, ");  // adWChar is not "varwchar"
  // Long types are blobs, text or binary, never a capped VARCHAR.
  EXPECT_EQ(Type(201, 2147483647), kText);
  EXPECT_EQ(Type(201, 20), kText);
  EXPECT_EQ(Type(205, 2147483647), kBinary);
  EXPECT_EQ(Type(5), " DOUBLE PRECISION, ");
  for (int c : {2, 16, 17}) EXPECT_EQ(Type(c), " SMALLINT, ") << c;
  EXPECT_EQ(Type(18), " INTEGER, ");  // unsigned smallint reaches 65535
  EXPECT_EQ(Type(3), " INTEGER, ");
  for (int c : {19, 20, 21}) EXPECT_EQ(Type(c), " BIGINT, ") << c;  // past 32 bits
  EXPECT_EQ(Type(131, 0, 10, 2), " NUMERIC(10, 2), ");
  EXPECT_EQ(Type(139, 0, 5, 1), " NUMERIC(5, 1), ");
  EXPECT_EQ(Type(14, 0, 12, 3), " DECIMAL(12, 3), ");
  EXPECT_EQ(Type(7), " DATE, ");
  EXPECT_EQ(Type(133), " DATE, ");
  EXPECT_EQ(Type(135), " TIMESTAMP, ");
  EXPECT_EQ(Type(11), " SMALLINT, ");
  EXPECT_EQ(Type(4, 24), " FLOAT, ");  // real: 32 bits, as FLOAT
  EXPECT_EQ(Type(134, 16), " TIME, ");
  EXPECT_EQ(Type(1, 34), " VARCHAR(34) CHARACTER SET UTF8, ");  // unknown code
  // Binary types keep their bytes.
  EXPECT_EQ(Type(128, 8), " VARCHAR(8) CHARACTER SET OCTETS, ");
  EXPECT_EQ(Type(204, 100), " VARCHAR(100) CHARACTER SET OCTETS, ");
}

TEST(TypeRules, ClassicRulesKeepTheirOldTypes) {
  EXPECT_EQ(Classic(202), kText);
  EXPECT_EQ(Classic(4, 24), " VARCHAR(24) CHARACTER SET UTF8, ");  // adSingle: no rule of its own
  EXPECT_EQ(Classic(134, 16), " VARCHAR(16) CHARACTER SET UTF8, ");
  EXPECT_EQ(Classic(14, 0, 38, 30), " DECIMAL(18, 18), ");
  EXPECT_EQ(Classic(200, 40), Type(200, 40));
  EXPECT_EQ(Classic(135), " TIMESTAMP, ");
  EXPECT_EQ(ApplyTypeRules(F(202), conversion::TypeRules::Classic).keyword, "varwchar");
}

TEST(TypeRules, TimesAreTimesWhateverTheirDigitsOfASecond) {
  // Firebird holds ten-thousandths: time(n) and datetime2(n) with more digits are TIME and TIMESTAMP all
  // the same (their values cut to ten-thousandths), under both rule sets; the classic rules keep a time of
  // up to four digits as text.
  auto with = [](int code, int fraction, conversion::TypeRules rules = conversion::TypeRules::Firebird) {
    ado::Field f = F(code, 27);
    f.Fraction = fraction;
    return ApplyTypeRules(f, rules).firebirdType;
  };
  for (int digits : {3, 4, 5, 7}) {
    EXPECT_EQ(with(134, digits), "TIME") << digits;
    EXPECT_EQ(with(135, digits), "TIMESTAMP") << digits;
    EXPECT_EQ(with(135, digits, conversion::TypeRules::Classic), "TIMESTAMP") << digits;
  }
  EXPECT_EQ(with(134, 7, conversion::TypeRules::Classic), "TIME");
  EXPECT_NE(with(134, 3, conversion::TypeRules::Classic), "TIME");
}

TEST(TypeRules, WidthsPastVarcharBecomeBlobs) {
  // A UTF8 character takes up to four bytes of VARCHAR's 32765.
  EXPECT_EQ(Type(200, 8191), " VARCHAR(8191) CHARACTER SET UTF8, ");
  EXPECT_EQ(Type(200, 8192), kText);
  EXPECT_EQ(Type(200, 0), kText);
  EXPECT_EQ(Type(204, 32765), " VARCHAR(32765) CHARACTER SET OCTETS, ");
  EXPECT_EQ(Type(204, 32766), kBinary);
  EXPECT_TRUE(ApplyTypeRules(F(204, 0)).blob);
}

TEST(TypeRules, KeywordsAndTypesShownForTheDatatypeList) {
  auto k = [](int code) {
    auto c = ApplyTypeRules(F(code, 20, 19, 4));
    return c.keyword + "|" + c.firebirdType + "|" + (c.numeric ? "n" : "-");
  };
  EXPECT_EQ(k(16), "smallint|SMALLINT|n");
  EXPECT_EQ(k(3), "int|INTEGER|n");
  EXPECT_EQ(k(20), "int|BIGINT|n");
  EXPECT_EQ(k(131), "currency|NUMERIC(18, 4)|n");
  EXPECT_EQ(k(6), "currency|NUMERIC(18, 4)|n");
  EXPECT_EQ(k(14), "decimal|DECIMAL(18, 4)|n");
  EXPECT_EQ(k(135), "timestamp|TIMESTAMP|-");
  EXPECT_EQ(k(11), "bool|SMALLINT|n");
  EXPECT_EQ(k(202), "varwchar|VARCHAR(20) CHARACTER SET UTF8|-");
  EXPECT_EQ(k(4), "single|FLOAT|n");
  EXPECT_EQ(k(201), "longvar|BLOB SUB_TYPE TEXT CHARACTER SET UTF8|-");
  EXPECT_EQ(k(72), "OTHER TYPES|VARCHAR(20) CHARACTER SET UTF8|-");
}

TEST(RowFit, WidestCharacterColumnsBecomeBlobsUntilTheRecordFits) {
  using conversion::Storage;
  // 16 columns of varchar(1000) fit a Firebird record (the engine takes 64036 bytes); 17 do not.
  std::vector<conversion::ColumnType> cols(16, ApplyTypeRules(F(200, 1000)));
  EXPECT_TRUE(conversion::FitRow(cols).empty());
  cols.push_back(ApplyTypeRules(F(200, 1000)));
  EXPECT_EQ(conversion::FitRow(cols), (std::vector<size_t>{0}));
  EXPECT_EQ(cols[0].storage, Storage::TextBlob);
  EXPECT_EQ(cols[1].storage, Storage::Text);
  // The widest go first, and the narrow ones keep their VARCHAR.
  std::vector<conversion::ColumnType> mixed{ApplyTypeRules(F(200, 10)), ApplyTypeRules(F(200, 8000)),
                                            ApplyTypeRules(F(204, 30000)), ApplyTypeRules(F(200, 7000)),
                                            ApplyTypeRules(F(200, 6000)), ApplyTypeRules(F(3))};
  EXPECT_EQ(conversion::FitRow(mixed), (std::vector<size_t>{1, 2}));
  EXPECT_EQ(mixed[2].firebirdType, "BLOB SUB_TYPE BINARY");
  EXPECT_EQ(mixed[3].firebirdType, "VARCHAR(7000) CHARACTER SET UTF8");
  EXPECT_EQ(mixed[4].firebirdType, "VARCHAR(6000) CHARACTER SET UTF8");
  EXPECT_EQ(mixed[0].firebirdType, "VARCHAR(10) CHARACTER SET UTF8");
  // SQL Server's widest table: 1024 columns of 8000 characters.
  std::vector<conversion::ColumnType> widest(1024, ApplyTypeRules(F(200, 8000)));
  conversion::FitRow(widest);
  long total = 0;
  for (const auto& c : widest) total += conversion::RowBytes(c);
  EXPECT_LE(total + 128, conversion::kMaxRowBytes);
}

TEST(TypeRules, ExactNumericsFitFirebird) {
  // money arrives as DECIMAL(19, 4); Firebird holds 18 digits at most.
  EXPECT_EQ(Type(131, 0, 19, 4), " NUMERIC(18, 4), ");
  // Wider ones keep room for nine digits before the point (all the source allows, when fewer).
  EXPECT_EQ(Type(14, 0, 38, 30), " DECIMAL(18, 10), ");
  EXPECT_EQ(Type(14, 0, 38, 20), " DECIMAL(18, 9), ");
  EXPECT_EQ(Type(14, 0, 38, 4), " DECIMAL(18, 4), ");
  EXPECT_EQ(Type(14, 0, 38, 0), " DECIMAL(18, 0), ");
  EXPECT_EQ(Type(14, 0, 18, 18), " DECIMAL(18, 18), ");
  EXPECT_EQ(Type(131, 0, 0, 0), " NUMERIC(18, 0), ");
}

TEST(Names, LongNamesAreShortenedOnWholeCharactersAndStayUnique) {
  using conversion::NameShortener;
  const std::string a = "SalesOrderHeaderArchiveForReporting2019";
  const std::string b = "SalesOrderHeaderArchiveForReporting2020";
  auto out = NameShortener::ShortenAll({"Id", a, b, "Short"});
  EXPECT_EQ(out[0], "Id");
  EXPECT_EQ(out[3], "Short");
  EXPECT_NE(out[1], out[2]);
  for (const auto& n : {out[1], out[2]}) {
    EXPECT_LE(n.size(), conversion::kMaxNameBytes);
    EXPECT_EQ(n.substr(0, 24), a.substr(0, 24));
  }
  // The same name gets the same result on every run, whatever stands around it.
  EXPECT_EQ(NameShortener::ShortenAll({b, "x"})[0], out[2]);
  // Multi-byte characters are never cut: 20 two-byte letters give 24 bytes at most before the tail.
  std::string accented;
  for (int i = 0; i < 20; ++i) accented += "é";
  const std::string s = NameShortener::ShortenAll({accented})[0];
  EXPECT_LE(s.size(), conversion::kMaxNameBytes);
  EXPECT_EQ(s.substr(0, 24), accented.substr(0, 24));
  EXPECT_EQ(s[24], '~');
  // A shortened name never takes a name that fits and stands later in the list, nor a duplicate.
  const std::string taken = NameShortener::ShortenAll({a})[0];
  auto clash = NameShortener::ShortenAll({a, taken});
  EXPECT_EQ(clash[1], taken);
  EXPECT_NE(clash[0], taken);
  auto twice = NameShortener::ShortenAll({"Name", "NAME"});
  EXPECT_EQ(twice[0], "Name");
  EXPECT_NE(ado::ToUpper(twice[1]), "NAME");
}

TEST(Identifiers, QuotesAndBracketsAreDoubled) {
  EXPECT_EQ(conversion::QuoteIdentifier("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(conversion::SelectAllText("x]y"), "SELECT * FROM [x]]y]");
  EXPECT_EQ(conversion::DropTableText("My \"T\""), "DROP TABLE \"My \"\"T\"\"\";");
}
