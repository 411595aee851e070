// Makes the README's pictures: the "Tables..." list of the demo source, then a conversion with the
// preview on, offscreen: the main window during the run (with its title, which carries the whole run's
// progress, drawn above it: offscreen there is no window manager to draw it), the SQL Preview window as
// it opens, and the main window after the run.
//   demo_screenshot PORT FIREBIRD_FILE OUT_DIR
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/Form1.h"
#include "app/MsgBox.h"
#include "app/TablesDialog.h"
#include "app/WindowHelpers.h"

namespace {

// The window with a caption strip above it holding its title.
QPixmap WithTitle(QWidget& w) {
  const QPixmap body = w.grab();
  const int strip = 28;
  QPixmap out(body.width(), body.height() + strip);
  out.fill(QColor(0x3c, 0x3f, 0x44));
  QPainter p(&out);
  p.setPen(Qt::white);
  QFont font = w.font();
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRect(10, 0, body.width() - 20, strip), Qt::AlignVCenter | Qt::AlignLeft, w.windowTitle());
  p.drawPixmap(0, strip, body);
  return out;
}

// Lets the window's loop run until `done` or the time is up.
template <class F>
bool WaitFor(F done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  QApplication app(argc, argv);
  const QString out = argv[3];
  Form1 f;
  f.Text5->setText("127.0.0.1");
  f.Text6->setText(argv[1]);
  f.Text8->setText("DemoShop");
  f.Text3->setText("demo");
  f.Text4->setText("demo");
  f.Check4->setChecked(false);
  f.Text1->setText(argv[2]);
  f.Text7->setText("SYSDBA");
  f.Text2->setText("masterkey");
  f.Check1->setChecked(true);
  f.show();
  // Questions are answered Yes and messages OK, so the run goes through unattended.
  MsgBox::BeginTest();
  for (int i = 0; i < 20; ++i) MsgBox::QueueAnswer(MsgBox::Yes);
  bool tables = false, preview = false, during = false;
  SetModalHandler([&](QDialog* d) {
    d->show();
    if (auto* t = dynamic_cast<TablesDialog*>(d)) {
      WaitFor([t] { return t->Loaded(); }, 30000);
      t->Filter->setText("*s");
      t->List->topLevelItem(t->List->topLevelItemCount() - 1)->setCheckState(0, Qt::Unchecked);
      QApplication::processEvents();
      tables = d->grab().save(out + "/demo-tables.png");
      t->List->topLevelItem(t->List->topLevelItemCount() - 1)->setCheckState(0, Qt::Checked);
      return static_cast<int>(QDialog::Rejected);
    }
    QApplication::processEvents();
    if (!preview) preview = d->grab().save(out + "/demo-preview.png");
    return 0;
  });
  f.TablesButton->click();
  // A moment in the middle of a table, past the first few: the bar with its text, the title with the run's share.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, &f, [&] {
    const int v = f.ProgressBar1->value();
    if (!during && f.windowTitle().contains("% of all rows") && !f.windowTitle().contains("table 1 of") &&
        f.ProgressBar1->format().contains("Processing table") && v >= 20 && v <= 80)
      during = WithTitle(f).save(out + "/demo-progress.png");
  });
  watch.start(2);
  f.PushButton7_Click();
  if (!WaitFor([&] { return !f.Busy(); }, 120000)) return 1;
  return tables && preview && during && f.grab().save(out + "/demo-main.png") ? 0 : 1;
}
