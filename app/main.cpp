#include <QApplication>
#include <clocale>

#include "app/Form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Database drivers read and write numbers in the C locale's format, whatever the user's region.
  std::setlocale(LC_NUMERIC, "C");
  Form1 form;
  form.show();
  return app.exec();
}
