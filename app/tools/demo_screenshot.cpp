// Makes the README's pictures: runs a conversion of the demo source with the preview on, offscreen, and
// saves the SQL Preview window as it opens and the main window after the run.
//   demo_screenshot PORT FIREBIRD_FILE OUT_DIR
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPixmap>

#include "app/Form1.h"
#include "app/MsgBox.h"
#include "app/WindowHelpers.h"

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
  bool saved = false;
  SetModalHandler([&](QDialog* d) {
    d->show();
    QApplication::processEvents();
    if (!saved) saved = d->grab().save(out + "/demo-preview.png");
    return 0;
  });
  f.PushButton7_Click();
  QApplication::processEvents();
  return saved && f.grab().save(out + "/demo-main.png") ? 0 : 1;
}
