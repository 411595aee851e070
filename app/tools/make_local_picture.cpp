// Renders the SQL Server login panel filled in for a local connection, the picture the SQL Server
// help offers ("local-connection-example.jpg").
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPixmap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

#include "app/Form1.h"
#include "app/MsgBox.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_local_picture OUT.jpg\n");
    return 2;
  }
  QTemporaryDir settings;
  qputenv("XDG_CONFIG_HOME", settings.path().toUtf8());
  QApplication app(argc, argv);
  MsgBox::BeginTest();
  Form1::SetNudgeDraw([] { return 1; });
  Form1 form;
  form.Text5->setText("localhost\\SQLEXPRESS");
  form.Text3->setText("sa");
  form.Text4->setText("password");
  form.Text8->setText("Northwind");
  form.Check4->setChecked(true);
  form.show();
  app.processEvents();
  QPixmap shot = form.Frame3->grab();
  return shot.save(argv[1], "JPG", 90) ? 0 : 1;
}
