#include "gui/EEPDlg.h"

#include <algorithm>

#include <QCoreApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "gui/JapaneseFonts.h"
#include "gui/ProgramBoxes.h"

TEEPDlg* EEPDlg = nullptr;

TEEPDlg::TEEPDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("EEPDlg"));
  setWindowTitle(QCoreApplication::translate("TEEPDlg", "初期化項目の選択"));
  setFont(quillon::FormFont(quillon::kFontPGothic, 12));
  setFixedSize(343, 193);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  const QFont large = quillon::FormFont(quillon::kFontPGothic, 16);

  Label1 = new QLabel(QCoreApplication::translate("TEEPDlg", "初期化する項目を選択してください。"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setFont(large);
  // Designed to wrap, but the text is one line wherever the face allows it.
  Label1->setGeometry(32, 16, 243, 16);
  quillon::FitLabel(Label1);

  // Each box as large as its caption at the face in use (the designed
  // 177x17 cuts the larger faces), never running into the next one.
  int below = 0;
  auto makeBox = [&](const char* name, const QString& caption, int top, bool checked) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(QString::fromLatin1(name));
    box->setFont(large);
    const QSize need = box->sizeHint();
    top = std::max(top, below + 2);
    box->setGeometry(80, top, std::max(177, need.width()), std::max(17, need.height()));
    below = box->geometry().bottom();
    box->setChecked(checked);
    return box;
  };
  CheckBox1 = makeBox("CheckBox1", QCoreApplication::translate("TEEPDlg", "プリンタメニュー設定"), 56, true);
  CheckBox2 = makeBox("CheckBox2", QCoreApplication::translate("TEEPDlg", "ネットワーク設定"), 83, false);
  CheckBox3 = makeBox("CheckBox3", QCoreApplication::translate("TEEPDlg", "権限設定"), 109, false);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setGeometry(88, 144, 75, 25);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, [this] { done(quillon::IDOK); });

  CancelBtn = new QPushButton(QCoreApplication::translate("TEEPDlg", "キャンセル"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setGeometry(172, 144, 75, 25);
  connect(CancelBtn, &QPushButton::clicked, this, [this] { done(quillon::IDCANCEL); });

  // Tab order: OK, Cancel, then the three boxes.
  setTabOrder(OKBtn, CancelBtn);
  setTabOrder(CancelBtn, CheckBox1);
  setTabOrder(CheckBox1, CheckBox2);
  setTabOrder(CheckBox2, CheckBox3);

  if (!EEPDlg) EEPDlg = this;
}

TEEPDlg::~TEEPDlg() {
  if (EEPDlg == this) EEPDlg = nullptr;
}

int TEEPDlg::CheckedItems() const {
  return (CheckBox1->isChecked() ? 1 : 0) | (CheckBox2->isChecked() ? 2 : 0) |
         (CheckBox3->isChecked() ? 4 : 0);
}

void TEEPDlg::reject() { done(quillon::IDCANCEL); }
