#include "gui/PrnModelDlg.h"

#include <algorithm>

#include <QCoreApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <cstring>

#include "core/app/ModelTable.h"
#include "gui/JapaneseFonts.h"
#include "gui/ProgramBoxes.h"

TdlgPrnModel* dlgPrnModel = nullptr;

TdlgPrnModel::TdlgPrnModel(const std::vector<std::string>& names, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("dlgPrnModel"));
  setWindowTitle(QCoreApplication::translate("TdlgPrnModel", "プリンタ機種の決定"));
  setFont(quillon::FormFont(quillon::kFontPGothic, 12));
  setFixedSize(336, 145);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  const QIcon info = style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this);
  Image1->setPixmap(info.pixmap(32, 32));
  Image1->setGeometry(24, 16, 32, 32);  // sized to its picture

  Label1 = new QLabel(QCoreApplication::translate("TdlgPrnModel", "接続先のﾌﾟﾘﾝﾀ機種が取得できませんでした。"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(88, 22, 232, 12);
  Label2 = new QLabel(QCoreApplication::translate("TdlgPrnModel", "ﾌﾟﾘﾝﾀ機種を選択してください。"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(88, 38, 153, 12);
  quillon::FitLabel(Label1);
  quillon::FitLabel(Label2);
  // A face taller than the design's 12 px moves the second line down.
  Label2->move(Label2->x(), std::max(Label2->y(), Label1->geometry().bottom() + 2));

  lblModel = new QLabel(QCoreApplication::translate("TdlgPrnModel", "ﾌﾟﾘﾝﾀ機種名(&M)"), this);
  lblModel->setObjectName(QStringLiteral("lblModel"));
  lblModel->setGeometry(27, 76, 82, 12);
  quillon::FitLabel(lblModel);

  cmbModel = new QComboBox(this);
  cmbModel->setObjectName(QStringLiteral("cmbModel"));
  cmbModel->setEditable(false);
  cmbModel->setGeometry(115, 72, 193, 20);
  for (const std::string& name : names) {
    if (name.empty()) break;
    cmbModel->addItem(QString::fromStdString(name));
  }
  cmbModel->setCurrentIndex(-1);
  lblModel->setBuddy(cmbModel);
  connect(cmbModel, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) cmbModelChange();
  });

  btnOk = new QPushButton(QStringLiteral("&OK"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnOk->setGeometry(86, 104, 75, 25);
  btnOk->setDefault(true);
  btnOk->setEnabled(false);
  connect(btnOk, &QPushButton::clicked, this, &TdlgPrnModel::btnOkClick);

  btnCancel = new QPushButton(QCoreApplication::translate("TdlgPrnModel", "ｷｬﾝｾﾙ"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnCancel->setGeometry(174, 104, 75, 25);
  connect(btnCancel, &QPushButton::clicked, this, &TdlgPrnModel::reject);

  setTabOrder(cmbModel, btnOk);
  setTabOrder(btnOk, btnCancel);

  if (!dlgPrnModel) dlgPrnModel = this;
}

TdlgPrnModel::TdlgPrnModel(QWidget* parent) : TdlgPrnModel(BuiltInModelNames(), parent) {}

std::vector<std::string> TdlgPrnModel::BuiltInModelNames() {
  std::vector<std::string> names;
  for (const auto& slot : ModelNames) {
    if (slot[0] == '\0') break;
    names.emplace_back(slot, strnlen(slot, sizeof slot));
  }
  return names;
}

TdlgPrnModel::~TdlgPrnModel() {
  if (dlgPrnModel == this) dlgPrnModel = nullptr;
}

void TdlgPrnModel::cmbModelChange() { btnOk->setEnabled(true); }

void TdlgPrnModel::btnOkClick() {
  // The default button can answer Enter even while it is disabled.
  if (!btnOk->isEnabled()) return;
  SelectedModel = cmbModel->currentText().toStdString();
  done(quillon::IDOK);
}

void TdlgPrnModel::reject() { done(quillon::IDCANCEL); }
