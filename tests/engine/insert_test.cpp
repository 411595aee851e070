#include <gtest/gtest.h>

#include "conversion/Casts.h"
#include "conversion/RowExport.h"
#include "conversion/TableDdl.h"

namespace {
// Rows held in memory, for checking statement texts letter by letter.
class MemoryCursor : public ado::Cursor {
 public:
  MemoryCursor(std::vector<ado::Field> cols, std::vector<std::vector<ado::Value>> rows)
      : cols_(std::move(cols)), rows_(std::move(rows)) {}
  std::vector<ado::Field>& Columns() override { return cols_; }
  bool Fetch() override {
    if (next_ >= rows_.size()) return false;
    for (size_t i = 0; i < cols_.size(); ++i) cols_[i].value = rows_[next_][i];
    ++next_;
    return true;
  }

 private:
  std::vector<ado::Field> cols_;
  std::vector<std::vector<ado::Value>> rows_;
  size_t next_ = 0;
};

ado::Field Col(const std::string& name, int type, long size = 0, int p = 0, int s = 0) {
  ado::Field f;
  f.Name = name;
  f.Type = type;
  f.DefinedSize = size;
  f.Precision = p;
  f.NumericScale = s;
  return f;
}
ado::Value Int(long long n) {
  ado::Value v;
  v.kind = ado::Kind::Integer;
  v.integer = n;
  return v;
}
ado::Value Text(const std::string& t) {
  ado::Value v;
  v.kind = ado::Kind::Text;
  v.text = t;
  return v;
}
ado::Value Stamp(int y, int mo, int d, int h, int mi, int s, unsigned nanos = 0) {
  ado::Value v;
  v.kind = ado::Kind::DateTime;
  v.year = y; v.month = mo; v.day = d; v.hour = h; v.minute = mi; v.second = s; v.nanos = nanos;
  return v;
}
ado::Value Null() { return {}; }

std::vector<std::string> Inserts(const std::string& table, std::vector<ado::Field> cols,
                                 std::vector<std::vector<ado::Value>> rows, std::string* ddlText = nullptr) {
  ado::Recordset rs(std::make_unique<MemoryCursor>(cols, rows));
  auto ddl = conversion::BuildCreateTable(table, rs, nullptr);
  if (ddlText) *ddlText = ddl.createTable + " | " + ddl.numericList;
  conversion::InsertBuilder b(table, ddl);
  std::vector<std::string> out;
  for (; !rs.Eof(); rs.MoveNext()) out.push_back(b.Build(rs));
  return out;
}

struct Sink : conversion::DatatypeSink {
  std::vector<std::vector<std::string>> rows;
  void AppendRow(const std::string& t, const std::string& c) override { rows.push_back({t, c, "", ""}); }
  void SetLastRowTypes(const std::string& k, const std::string& f) override {
    rows.back()[2] = k;
    rows.back()[3] = f;
  }
  void Clear() override { rows.clear(); }
};
}  // namespace

TEST(CreateTable, OrdersExample) {
  std::vector<ado::Field> cols{Col("Id", 3), Col("Name", 202, 50), Col("Price", 6, 8, 19, 4), Col("Created", 135)};
  ado::Recordset rs(std::make_unique<MemoryCursor>(cols, std::vector<std::vector<ado::Value>>{}));
  Sink sink;
  auto ddl = conversion::BuildCreateTable("Orders", rs, &sink);
  // Precision 19 is clamped to Firebird's 18; national text is a VARCHAR of its length.
  EXPECT_EQ(ddl.createTable,
            "CREATE TABLE \"Orders\" (\"Id\" INTEGER, \"Name\" VARCHAR(50) CHARACTER SET UTF8, \"Price\" NUMERIC(18, 4), "
            "\"Created\" TIMESTAMP);");
  EXPECT_EQ(ddl.numericList, "0, 2, ");
  ASSERT_EQ(sink.rows.size(), 4u);
  EXPECT_EQ(sink.rows[2], (std::vector<std::string>{"Orders", "Price", "currency", "NUMERIC(18, 4)"}));
  EXPECT_EQ(sink.rows[1], (std::vector<std::string>{"Orders", "Name", "varwchar", "VARCHAR(50) CHARACTER SET UTF8"}));

  // The classic rules give the statement they always gave, and the view says which rules made it.
  conversion::TypeOptions classic;
  classic.rules = conversion::TypeRules::Classic;
  ado::Recordset again(std::make_unique<MemoryCursor>(cols, std::vector<std::vector<ado::Value>>{}));
  ddl = conversion::BuildCreateTable("Orders", again, &sink, nullptr, classic);
  EXPECT_EQ(ddl.createTable,
            "CREATE TABLE \"Orders\" (\"Id\" INTEGER, \"Name\" BLOB SUB_TYPE TEXT CHARACTER SET UTF8, \"Price\" NUMERIC(18, 4), "
            "\"Created\" TIMESTAMP);");
  EXPECT_EQ(sink.rows.back(), (std::vector<std::string>{"Orders", "Created", "timestamp (Classic)", "TIMESTAMP"}));
}

TEST(CreateTable, CastsBeatTheRulesAndNameTheirRule) {
  std::vector<ado::Field> cols{Col("Id", 3), Col("Total", 131, 0, 38, 4), Col("Note", 202, 20), Col("Other", 131, 0, 38, 4)};
  cols[1].TypeName = cols[3].TypeName = "decimal";
  cols[2].TypeName = "nvarchar";
  conversion::CastRules casts({"decimal=VARCHAR(60)", "\"orders\".[TOTAL]=DOUBLE PRECISION", "nvarchar(21)=BLOB",
                               "Nope.Id=INTEGER"});
  conversion::TypeOptions options;
  options.casts = &casts;
  ado::Recordset rs(std::make_unique<MemoryCursor>(cols, std::vector<std::vector<ado::Value>>{}));
  Sink sink;
  auto ddl = conversion::BuildCreateTable("Orders", rs, &sink, nullptr, options);
  EXPECT_EQ(ddl.createTable,
            "CREATE TABLE \"Orders\" (\"Id\" INTEGER, \"Total\" DOUBLE PRECISION, \"Note\" VARCHAR(20) CHARACTER SET UTF8, "
            "\"Other\" VARCHAR(60) CHARACTER SET UTF8);");
  EXPECT_EQ(sink.rows[1][2], "cast \"orders\".[TOTAL]=DOUBLE PRECISION");
  EXPECT_EQ(sink.rows[3][2], "cast decimal=VARCHAR(60)");
  EXPECT_EQ(casts.Unused(), (std::vector<std::string>{"nvarchar(21)=BLOB", "Nope.Id=INTEGER"}));
}

TEST(Casts, MalformedRulesAreRefusedWithTheirText) {
  for (const char* bad : {"Orders.Total", "=INTEGER", "Orders.Total=", "Orders.Total=NUMBERX", "money=VARCHAR",
                          "Orders.Total=NUMERIC(19,2)", "Orders.Total=VARCHAR(10) CHARACTER", "nosuchtype=INTEGER",
                          "a.b.c.d=INTEGER", "Orders.Total=INTEGER junk", "\"Orders.Total=INTEGER", "decimal(38=INTEGER"}) {
    try {
      conversion::ParseCast(bad);
      ADD_FAILURE() << bad << " was taken";
    } catch (const conversion::CastError& e) {
      const std::string text = bad;
      EXPECT_NE(std::string(e.what()).find(text.substr(0, text.find('='))), std::string::npos) << e.what();
    }
  }
  const auto r = conversion::ParseCast(" \"My.Table\".\"A \"\"b\"\"\" = varchar(12) character set win1252 ");
  EXPECT_EQ(r.table, "My.Table");
  EXPECT_EQ(r.column, "A \"b\"");
  EXPECT_EQ(r.target.firebirdType, "VARCHAR(12) CHARACTER SET WIN1252");
  EXPECT_EQ(conversion::ParseCast("Sales.Orders.Total=numeric(18,2)").schema, "Sales");
  EXPECT_EQ(conversion::ParseCast("x.y=blob sub_type text").target.firebirdType, "BLOB SUB_TYPE TEXT CHARACTER SET UTF8");
  EXPECT_EQ(conversion::ParseCast("decimal(38,4)=VARCHAR(60)").scale, 4);
  // A second rule for a column or a type that one rule names already is refused with both rules.
  EXPECT_THROW(conversion::CastRules({"Orders.Total=INTEGER", "orders.[TOTAL]=DOUBLE PRECISION"}), conversion::CastError);
  EXPECT_THROW(conversion::CastRules({"decimal(38,4)=VARCHAR(60)", "DECIMAL(38,4)=BIGINT"}), conversion::CastError);
  try {
    conversion::CastRules({"Orders.Total=INTEGER", "a.b=DATE", "Orders.Total=BIGINT"});
    ADD_FAILURE() << "taken";
  } catch (const conversion::CastError& e) {
    EXPECT_STREQ(e.what(), "The cast rules \"Orders.Total=INTEGER\" and \"Orders.Total=BIGINT\" both name the column "
                           "Orders.Total: keep one of them.");
  }
  // Rules for other schemas' tables of the same name, and for other lengths of a type, stand together.
  EXPECT_NO_THROW(conversion::CastRules({"Sales.Orders.Total=INTEGER", "Orders.Total=BIGINT", "decimal(38,4)=BIGINT",
                                         "decimal(38,2)=BIGINT", "decimal=VARCHAR(60)"}));
  EXPECT_EQ(conversion::SplitCastList("a.b=INTEGER; \"x;y\".z=DATE\nmoney=DOUBLE PRECISION;"),
            (std::vector<std::string>{"a.b=INTEGER", "\"x;y\".z=DATE", "money=DOUBLE PRECISION"}));
}

TEST(InsertText, ValuesAreWrittenExactlyOrRefused) {
  auto one = [](ado::Field col, ado::Value v) {
    ado::Recordset rs(std::make_unique<MemoryCursor>(std::vector<ado::Field>{col}, std::vector<std::vector<ado::Value>>{{v}}));
    auto ddl = conversion::BuildCreateTable("T", rs, nullptr);
    conversion::InsertBuilder b("T", ddl);
    const std::string s = b.Build(rs);
    return s.substr(s.find('(') + 1, s.size() - s.find('(') - 3);
  };
  ado::Value dec;
  dec.kind = ado::Kind::Decimal;
  // decimal(38,30): zeros past the column's ten decimals are left out; other digits are refused.
  const ado::Field wide = Col("D", 131, 0, 38, 30);
  dec.text = "0.500000000000000000000000000000";
  EXPECT_EQ(one(wide, dec), "0.5000000000");
  dec.text = "-12345678.123456789000000000000000";
  EXPECT_EQ(one(wide, dec), "-12345678.1234567890");
  dec.text = "0.123456789012345678901234567891";
  EXPECT_THROW(one(wide, dec), conversion::ValueError);
  // A time keeps four digits of a second; the digits past them are cut, never rounded.
  ado::Field t = Col("T", 134, 16);
  t.Fraction = 3;
  EXPECT_EQ(one(t, Text("12:34:56.1230000")), "'12:34:56.123'");
  EXPECT_EQ(one(t, Text("12:34:56.0000000")), "'12:34:56'");
  EXPECT_EQ(one(t, Text("12:34:56.1234567")), "'12:34:56.1234'");
  EXPECT_EQ(one(t, Text("23:59:59.9999999")), "'23:59:59.9999'");
  // A timestamp likewise, datetime2(7) too: the date never moves.
  EXPECT_EQ(one(Col("S", 135), Stamp(2001, 5, 3, 14, 5, 9, 123400000)), "'05/03/2001 14:05:09.1234'");
  ado::Field dt2 = Col("S", 135);
  dt2.Fraction = 7;
  EXPECT_EQ(one(dt2, Stamp(2001, 5, 3, 14, 5, 9, 123456700)), "'05/03/2001 14:05:09.1234'");
  EXPECT_EQ(one(dt2, Stamp(9999, 12, 31, 23, 59, 59, 999999900)), "'12/31/9999 23:59:59.9999'");
  EXPECT_EQ(one(dt2, Stamp(2001, 5, 3, 0, 0, 0)), "'05/03/2001'");
}

TEST(CreateTable, WideTablesKeepTheirLengthsAndQuotedNames) {
  // Forty varchar(400) columns fit one Firebird record (four bytes a character): each keeps its length.
  std::vector<ado::Field> cols;
  for (int i = 0; i < 40; ++i) cols.push_back(Col("c\"" + std::to_string(i), 200, i == 0 ? 10 : 400));
  std::string ddl;
  Inserts("T", cols, {}, &ddl);
  EXPECT_NE(ddl.find("\"c\"\"0\" VARCHAR(10) CHARACTER SET UTF8, \"c\"\"1\" VARCHAR(400) CHARACTER SET UTF8"),
            std::string::npos);
  EXPECT_NE(ddl.find("\"c\"\"39\" VARCHAR(400) CHARACTER SET UTF8); | "), std::string::npos);
}

TEST(InsertText, GoldenRows) {
  std::vector<ado::Field> cols{Col("Id", 3), Col("Name", 200, 40), Col("Born", 135)};
  auto s = Inserts("T", cols,
                   {{Int(7), Text("O'Brien"), Stamp(2001, 5, 3, 14, 5, 9)},
                    {Int(8), Null(), Stamp(2000, 1, 1, 0, 0, 0)},
                    {Null(), Int(5), Null()},
                    {Int(5), Null(), Text("x")}});
  EXPECT_EQ(s[0], "INSERT INTO \"T\" VALUES (7, 'O''Brien', '05/03/2001 14:05:09');");
  EXPECT_EQ(s[1], "INSERT INTO \"T\" VALUES (8,NULL, '01/01/2000');");
  EXPECT_EQ(s[2], "INSERT INTO \"T\" VALUES (NULL, '5',NULL);");
  EXPECT_EQ(s[3], "INSERT INTO \"T\" VALUES (5,NULL, 'x');");
}

TEST(InsertText, TextIsNeverRewritten) {
  // With and without numeric columns in the table.
  for (bool withNumber : {true, false}) {
    std::vector<ado::Field> cols{Col("A", 200, 20)};
    std::vector<ado::Value> row{Text("1,5")};
    if (withNumber) {
      cols.push_back(Col("N", 3));
      row.push_back(Int(1));
    }
    std::vector<std::vector<ado::Value>> rows{row};
    rows.push_back(row);
    rows[1][0] = Text("3/4");
    auto s = Inserts("T", cols, rows);
    EXPECT_EQ(s[0].rfind("INSERT INTO \"T\" VALUES ('1,5'", 0), 0u) << s[0];
    EXPECT_EQ(s[1].rfind("INSERT INTO \"T\" VALUES ('3/4'", 0), 0u) << s[1];
  }
}

TEST(InsertText, ValuesOfEachKind) {
  ado::Value dec;
  dec.kind = ado::Kind::Decimal;
  dec.text = "-1234.5600";
  ado::Value dbl;
  dbl.kind = ado::Kind::Floating;
  dbl.floating = 0.1;
  ado::Value boolean;
  boolean.kind = ado::Kind::Boolean;
  boolean.boolean = true;
  ado::Value bin;
  bin.kind = ado::Kind::Binary;
  bin.text = std::string("\x00\xff\x10", 3);
  ado::Value time;
  time.kind = ado::Kind::Time;
  time.hour = 14; time.minute = 5; time.second = 9;
  ado::Value empty = Text("");
  std::vector<ado::Field> cols{Col("D", 131, 0, 10, 4), Col("F", 5), Col("B", 11), Col("X", 204, 10),
                               Col("Tm", 134, 16), Col("E", 200, 5), Col("S", 135)};
  auto s = Inserts("T", cols, {{dec, dbl, boolean, bin, time, empty, Stamp(2001, 5, 3, 14, 5, 9, 123400000)}});
  EXPECT_EQ(s[0], "INSERT INTO \"T\" VALUES (-1234.5600, 0.1, 1, X'00FF10', '14:05:09', '', '05/03/2001 14:05:09.1234');");
  // Empty text and bytes stay empty, apart from NULL.
  ado::Value noBytes;
  noBytes.kind = ado::Kind::Binary;
  s = Inserts("T", {Col("A", 202, 10), Col("B", 204, 10), Col("C", 203, 1073741823), Col("D", 205, 2147483647)},
              {{empty, noBytes, empty, noBytes}, {Null(), Null(), Null(), Null()}});
  EXPECT_EQ(s[0], "INSERT INTO \"T\" VALUES ('', X'', '', X'');");
  EXPECT_EQ(s[1], "INSERT INTO \"T\" VALUES (NULL,NULL,NULL,NULL);");
}

TEST(InsertText, DateFormats) {
  EXPECT_EQ(conversion::DateLiteral(Stamp(1999, 12, 31, 23, 59, 58)), "12/31/1999 23:59:58");
  EXPECT_EQ(conversion::DateLiteral(Stamp(1999, 12, 31, 0, 0, 0)), "12/31/1999");
  EXPECT_EQ(conversion::DateLiteral(Stamp(1999, 12, 31, 0, 0, 0, 500000000)), "12/31/1999 00:00:00.5");
  EXPECT_EQ(conversion::DateLiteral(Stamp(5, 1, 2, 3, 4, 5, 99999)), "01/02/0005 03:04:05");
}

TEST(InsertText, LongTextForABlobIsJoinedFromWholeCharacters) {
  std::string text;
  while (text.size() < 70000) text += "\xC3\xA9'\xE2\x98\x83 ";  // é ' ☃
  auto s = Inserts("T", {Col("Body", 202, 1073741823), Col("Short", 202, 10)}, {{Text(text), Text("x")}});
  const std::string& sql = s[0];
  ASSERT_EQ(sql.rfind("INSERT INTO \"T\" VALUES (CAST('", 0), 0u);
  EXPECT_NE(sql.find(" AS BLOB SUB_TYPE TEXT CHARACTER SET UTF8) || '"), std::string::npos);
  EXPECT_EQ(sql.substr(sql.size() - 7), ", 'x');");
  // Reassemble the parts: every part is valid UTF-8 and the whole equals the text.
  std::string joined;
  size_t pos = sql.find("CAST(") + 5;
  while (true) {
    ASSERT_EQ(sql[pos], '\'');
    size_t end = pos + 1;
    std::string part;
    while (!(sql[end] == '\'' && sql[end + 1] != '\'')) {
      part += sql[end];
      end += sql[end] == '\'' ? 2 : 1;
    }
    EXPECT_LE(part.size(), conversion::kLiteralBytes);
    EXPECT_NE(static_cast<unsigned char>(part[0]) & 0xC0, 0x80);
    joined += part;
    pos = end + 1;
    const std::string cast = " AS BLOB SUB_TYPE TEXT CHARACTER SET UTF8)";
    if (sql.compare(pos, cast.size(), cast) == 0) pos += cast.size();
    if (sql.compare(pos, 4, " || ") != 0) break;
    pos += 4;
  }
  EXPECT_EQ(joined, text);
}
