#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

// "Encrypt...": how the session with SQL Server is protected (the saved "Encrypt" and "CaFile"),
// used by Test Connection, "Tables..." and every run.
class EncryptionDialog : public QDialog {
 public:
  explicit EncryptionDialog(QWidget* owner);

  // Writes the choice into the saved settings; false, with a box saying why, for a choice that
  // cannot be used (a CA file that is not there, or one with encryption off).
  bool Keep();

  QRadioButton *Request, *Require, *Off;
  QLineEdit* CaFile;  // empty: the certificate is not checked
  QPushButton *Browse, *SystemCas, *Ok, *Cancel;
};
