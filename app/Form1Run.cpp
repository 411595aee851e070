// The main window's side of a conversion run: the options it starts with, and what the run tells and
// asks, answered on the window's thread (RunWorker queues the calls here).
#include <QDateTime>
#include <QPointer>
#include <QProgressBar>
#include <QCheckBox>
#include <QRadioButton>
#include <QLineEdit>

#include "app/Form1.h"
#include "app/MsgBox.h"
#include "app/RunWorker.h"
#include "app/Settings.h"
#include "app/WindowHelpers.h"
#include "conversion/Casts.h"
#include "conversion/Progress.h"
#include "preview/Form2.h"
#include "preview/Form5.h"

namespace {
QString S(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

conversion::RunOptions Form1::RunOptionsNow() {
  conversion::RunOptions o;
  o.source = SqlServerLogin();
  o.target = FirebirdLogin();
  o.preview = !Check1->isChecked()   ? conversion::PreviewMode::Off
              : Option2->isChecked() ? conversion::PreviewMode::PerTable
                                     : conversion::PreviewMode::PerFile;
  o.copyKeys = Settings::CopyKeys();
  // The saved "Verify" (off unless saved as 1): converted tables are read back and compared.
  o.verify = Settings::Verify(false);
  // Anything but the two names gives Firebird's types.
  conversion::ParseTypeRules(Settings::TypeRules().toStdString(), o.rules);
  o.casts = conversion::SplitCastList(Settings::Casts().toStdString());
  // "Binary" keeps text in UTF8's binary order; anything else compares as the source's collations do.
  o.binaryCollations = Settings::Get("Collations", "Source").toLower() == "binary";
  for (const QString& t : Settings::LeftOutTables(Text5->text(), Text8->text())) o.leftOut.push_back(t.toStdString());
  o.leftOutWhy = ", left out with \"Tables...\", is no longer in the SQL Server database.";
  return o;
}

void Form1::Progress(const conversion::RunProgress& p) {
  using Kind = conversion::RunProgress::Kind;
  switch (p.kind) {
    case Kind::Began:
      pointer_->SetMode(kHourglass);
      break;
    case Kind::Text:
      SetProgressText(p.text);
      break;
    case Kind::Row:
      if (p.percent >= 0) {
        lastProgress_ = QDateTime::currentMSecsSinceEpoch();
        if (ProgressBar1->maximum() == 0) ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(p.percent);
      }
      [[fallthrough]];
    case Kind::Table: {
      const double seconds = static_cast<double>(QDateTime::currentMSecsSinceEpoch() - runStarted_) / 1000.0;
      setWindowTitle("Tarnwick - " +
                     S(conversion::OverallProgressText(p.tableNumber, p.tables, p.runRows, p.runRowsTotal, seconds)));
      break;
    }
    case Kind::Ended:
      pointer_->SetMode(kDefaultPointer);
      if (ProgressBar1->maximum() == 0) ProgressBar1->setRange(0, 100);
      ProgressBar1->setValue(0);
      SetProgressText("Progress Bar");
      break;
  }
}

void Form1::SetProgressText(const std::string& text) { ProgressBar1->setFormat(LiteralProgressFormat(S(text))); }

int Form1::AskOverwrite(const std::string& text, bool first) {
  const int answer = MsgBox::Show(this, S(text), first ? MsgBox::YesNoResume : MsgBox::YesNo, "Overwrite?");
  return answer == MsgBox::Resume ? conversion::kResume : answer == MsgBox::Sync ? conversion::kSync : answer;
}

void Form1::Tell(conversion::MessageKind kind, const std::string& text) {
  switch (kind) {
    case conversion::MessageKind::Info:
      MsgBox::Show(this, S(text));
      break;
    case conversion::MessageKind::Error:
      MsgBox::ApplicationError(this, S(text));
      break;
    case conversion::MessageKind::Summary:
      MsgBox::Summary(this, S(text));
      break;
  }
}

void Form1::NewScript() {
  script_->Clear();
  DatatypesWindow()->Clear();
}

void Form1::ScriptStatement(const std::string& statement) { script_->Append(statement); }

conversion::DatatypeSink& Form1::Datatypes() { return *DatatypesWindow(); }

conversion::PreviewOutcome Form1::ShowPreview() {
  if (preview_ && !preview_->Unloaded()) preview_->Unload();
  // During a run the preview executes on the run's connection, while the run waits for it to close.
  Form2::ConnectionSource lend = [c = firebird_conn.get()] { return conversion::Session::Lease(c); };
  if (worker_) lend = [w = worker_.get()] { return w->LendFirebird(); };
  QPointer<Form2> f = preview_ = new Form2(script_, std::move(lend), [this] { return DatatypesWindow(); });
  conversion::PreviewOutcome outcome;
  f->Script().Publish();
  f->OnFinished([&outcome](const conversion::PreviewOutcome& o) { outcome = o; });
  ExecModal(f, this);
  // The window may outlive this call (its deletion is deferred): it keeps nothing of this one.
  if (f) {
    f->OnFinished({});
    f->SetConnection({});
  }
  SQLFormOK = outcome.SQLFormOK;
  return outcome;
}
