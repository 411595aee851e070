// The program as main() starts it, with its panels filled in from the command line and "Start
// Converting" pressed: a real process for tests that send it real signals.
//   signal_helper PORT FIREBIRD_FILE
// Prints "box" when a message box is open.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <clocale>
#include <cstdio>

#include "app/Form1.h"
#include "app/Signals.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  Signals::Block();
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  Form1 form;
  Signals::Install([&form](int) { form.EndNow(); });
  form.Text5->setText("127.0.0.1");
  form.Text6->setText(argv[1]);
  form.Text8->setText("shop");
  form.Text3->setText("sa");
  form.Text4->setText("any");
  form.Check4->setChecked(false);
  form.Text1->setText(argv[2]);
  form.Text7->setText("SYSDBA");
  form.Text2->setText("masterkey");
  form.Check1->setChecked(false);
  form.show();
  QTimer watch;
  bool told = false;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!told && QApplication::activeModalWidget()) {
      told = true;
      std::printf("box\n");
      std::fflush(stdout);
    }
  });
  watch.start(50);
  QTimer::singleShot(0, &form, [&form] { form.PushButton7_Click(); });
  return app.exec();
}
