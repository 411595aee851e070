#include "conversion/ConversionRun.h"

#include "connectivity/ConnString.h"
#include "connectivity/ErrorTrap.h"
#include "connectivity/UiYield.h"
#include "conversion/RowExport.h"

namespace conversion {

bool SQLTableOK = true;

namespace {
const char* const kWhere = "Form1.PushButton7_Click";
}

bool ListContains(const std::vector<std::string>& list, const std::string& text) {
  const std::string want = ado::ToLower(text);
  for (const auto& e : list)
    if (ado::ToLower(e) == want) return true;
  return false;
}

void ListRemove(std::vector<std::string>& list, const std::string& text) {
  const std::string want = ado::ToLower(text);
  std::erase_if(list, [&](const std::string& e) { return ado::ToLower(e) == want; });
}

void ConversionRun::BeforeWait() {
  // Whatever succeeded is made durable before the user is asked anything or a table ends.
  try {
    host_.FirebirdConn().Flush();
  } catch (const std::exception&) {
  }
}

void ConversionRun::Report(const std::string& description, int line) {
  BeforeWait();
  host_.ReportError(trap::ApplicationErrorText(description, kWhere, line));
}

template <class F>
bool ConversionRun::Step(int line, F&& f) {
  try {
    f();
    return true;
  } catch (const ado::DbError& e) {
    Report(e.what(), line);
    // A Firebird connection that is gone is reported once; the run then winds up.
    if (e.ConnectionLost() && !host_.PreviewOn()) throw Stop{};
    return false;
  } catch (const std::exception& e) {
    Report(e.what(), line);
    return false;
  }
}

bool ConversionRun::Route(const std::string& statement, int line) {
  if (host_.PreviewOn()) {
    host_.AppendScript(statement);
    return true;
  }
  return Step(line, [&] { host_.FirebirdConn().Execute(statement); });
}

void ConversionRun::Run() {
  if (converting_) return;
  converting_ = true;
  bool open = false;
  try {
    Step(100, [&] { host_.NewConnections(); });
    if (!FireBird::CanOpenFirebird(host_.FirebirdLogin()) || !MSSQL::CanOpenSqlServer(host_.SqlServerLogin())) {
      converting_ = false;
      return;
    }
    host_.SetHourglass(true);
    host_.SourceTables().clear();
    host_.TargetTables().clear();
    Step(108, [&] { MSSQL::ListSqlServerTables(host_.SqlServerLogin(), host_.SourceTables()); });
    Step(110, [&] { FireBird::ListFirebirdTables(host_.FirebirdLogin(), host_.TargetTables()); });
    Step(112, [&] {
      ado::Connection& fb = host_.FirebirdConn();
      fb.CursorLocation = 2;
      fb.CommandTimeout = 5000;
      fb.ConnectionTimeout = 5000;
      fb.Open(FireBird::ConnectionString(host_.FirebirdLogin()));
    });
    Step(114, [&] {
      ado::Connection& ms = host_.MssqlConn();
      ms.CursorLocation = 2;
      ms.CommandTimeout = 5000;
      ms.ConnectionTimeout = 5000;
      open = true;
      ms.Open(MSSQL::ConnectionString(host_.SqlServerLogin()));
    });
    Step(116, [&] {
      host_.ClearScript();
      host_.Datatypes().Clear();
    });
    // Tables are taken from the last entry to the first.
    for (size_t i = host_.SourceTables().size(); i-- > 0;) {
      ui::Yield();
      host_.CurrentTable() = host_.SourceTables()[i];
      if (!ConvertTable(host_.CurrentTable())) break;
      host_.SetProgressText("");
    }
    if (host_.PreviewOn() && host_.PreviewPerFile()) {
      host_.FormOK() = false;
      BeforeWait();
      Step(146, [&] { host_.ShowPreviewModal(); });
      if (!host_.FormOK()) {
        Step(148, [&] {
          host_.MssqlConn().Close();
          host_.FirebirdConn().Close();
        });
        open = false;
        host_.SetProgressText("");
      }
    }
  } catch (const Stop&) {
    // The Firebird connection is gone: wind up as after the last table.
  } catch (const std::exception& e) {
    Report(e.what(), 144);
  }
  if (open) {
    Step(150, [&] { host_.MssqlConn().Close(); });
    Step(152, [&] { host_.FirebirdConn().Close(); });
  }
  host_.SetHourglass(false);
  host_.SetProgress(0);
  host_.SetProgressText("Progress Bar");
  host_.ShowMessage("Done.");
  converting_ = false;
}

bool ConversionRun::ConvertTable(const std::string& tbl) {
  int answer = 0;
  if (ListContains(host_.TargetTables(), tbl)) {
    BeforeWait();
    answer = host_.AskYesNo("Would you like to overwrite " + tbl + "?", "Overwrite?");
  }
  if (answer == kNo) return true;
  const bool perTable = host_.PreviewPerTable();
  if (perTable) {
    Step(122, [&] {
      host_.ClearScript();
      host_.Datatypes().Clear();
    });
  }
  if (answer == kYes) {
    Route(DropTableText(tbl), 124);
    ListRemove(host_.TargetTables(), ado::ToLower(tbl));
  }
  host_.SetProgressText("Please wait.. Processing table " + tbl);
  ado::Recordset rs;
  // A table that cannot be read costs one message; its statements are not built.
  if (Step(130, [&] { rs.Open(SelectAllText(tbl), host_.MssqlConn(), 3, 3); })) {
    TableDdl ddl;
    if (Step(132, [&] { ddl = BuildCreateTable(tbl, rs, &host_.Datatypes()); })) {
      // Rows for a table that could not be created would each fail with a message of their own.
      if (Route(ddl.createTable, 134) && !rs.Eof() && !rs.Bof()) ExportRows(tbl, rs, ddl);
    }
    rs.Close();
  }
  // A finished table is made durable before the next one starts.
  BeforeWait();
  SQLTableOK = true;
  if (host_.PreviewOn() && perTable) {
    Step(142, [&] { host_.ShowPreviewModal(); });
    // Only "Skip Table / Do Not Execute SQL" goes on with the next table.
    if (SQLTableOK) return false;
  }
  return true;
}

void ConversionRun::ExportRows(const std::string& tbl, ado::Recordset& rs, const TableDdl& ddl) {
  InsertBuilder builder(tbl, ddl);
  const long long total = rs.Rows() < 0 ? 0 : rs.Rows();
  long long counter = 0;
  int shown = -1;
  while (!rs.Eof()) {
    ui::Yield();
    ++counter;
    int value = static_cast<int>((counter + 1) * 100 / (total + 1));
    if (value > 100) value = 100;
    if (value != shown) {
      host_.SetProgress(value);
      shown = value;
    }
    std::string statement;
    if (Step(136, [&] { statement = builder.Build(rs); })) Route(statement, 138);
    if (!Step(140, [&] { rs.MoveNext(); })) break;
  }
}

}  // namespace conversion
