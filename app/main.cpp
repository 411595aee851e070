#include <QApplication>

#include "app/Form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Form1 form;
  form.show();
  return app.exec();
}
