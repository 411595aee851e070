#include "app/EncryptionDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/MsgBox.h"
#include "app/Settings.h"

namespace {
constexpr const char* kSystemCas = "/etc/ssl/certs/ca-certificates.crt";
}

EncryptionDialog::EncryptionDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Encryption");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("How the session with SQL Server is protected:", this));
  Request = new QRadioButton("Request: encrypt when the server asks for it (the default)", this);
  Require = new QRadioButton("Require: refuse a server that cannot encrypt, before the login is sent", this);
  Off = new QRadioButton("Off: never encrypt (a server that demands encryption refuses the login)", this);
  for (QRadioButton* r : {Request, Require, Off}) layout->addWidget(r);
  layout->addWidget(new QLabel("Trusted certificates (PEM): the server's certificate must be signed by them and name\n"
                               "the server as typed, else the login is refused. Empty: the certificate is not checked.",
                               this));
  auto* fileRow = new QHBoxLayout;
  CaFile = new QLineEdit(this);
  CaFile->setPlaceholderText("no CA file: the server's certificate is not checked");
  CaFile->setClearButtonEnabled(true);
  Browse = new QPushButton("...", this);
  SystemCas = new QPushButton("System CAs", this);
  fileRow->addWidget(CaFile);
  fileRow->addWidget(Browse);
  fileRow->addWidget(SystemCas);
  layout->addLayout(fileRow);
  auto* row = new QHBoxLayout;
  Ok = new QPushButton("OK", this);
  Cancel = new QPushButton("Cancel", this);
  for (QPushButton* b : {Browse, SystemCas, Cancel}) b->setAutoDefault(false);
  Ok->setDefault(true);
  row->addStretch();
  row->addWidget(Ok);
  row->addWidget(Cancel);
  layout->addLayout(row);

  const QString level = Settings::Get("Encrypt", "request").toLower();
  (level == "require" ? Require : level == "off" ? Off : Request)->setChecked(true);
  CaFile->setText(Settings::Get("CaFile", ""));
  SystemCas->setEnabled(QFileInfo::exists(kSystemCas));

  connect(Browse, &QPushButton::clicked, this, [this] {
    const QString f = QFileDialog::getOpenFileName(this, "Trusted certificates", CaFile->text(),
                                                   "Certificates (*.pem *.crt);;All files (*)");
    if (!f.isEmpty()) CaFile->setText(f);
  });
  connect(SystemCas, &QPushButton::clicked, this, [this] { CaFile->setText(kSystemCas); });
  connect(Ok, &QPushButton::clicked, this, [this] {
    if (Keep()) accept();
  });
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool EncryptionDialog::Keep() {
  const QString file = CaFile->text().trimmed();
  if (!file.isEmpty() && Off->isChecked()) {
    MsgBox::Show(this, "A CA file checks the certificate of an encrypted session: choose Request or Require, "
                       "or leave the CA file empty.");
    return false;
  }
  if (!file.isEmpty() && !QFileInfo(file).isReadable()) {
    MsgBox::Show(this, "The CA file " + file + " cannot be read.");
    return false;
  }
  Settings::Put("Encrypt", Require->isChecked() ? "require" : Off->isChecked() ? "off" : "request");
  Settings::Put("CaFile", file.isEmpty() ? QString() : QFileInfo(file).absoluteFilePath());
  return true;
}
