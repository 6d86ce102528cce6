// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/CapcodePools.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/forms/projection.h"

namespace {
QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
} // namespace

TFormCapcodePools::TFormCapcodePools(pw::ui::CapcodePoolsModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setObjectName("TFormCapcodePools");
  setWindowTitle("Capcode Pools");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  auto* status = new QLabel(Utf8(model_.Status()), this);
  status->setObjectName("lblLedger");
  status->setTextFormat(Qt::PlainText);
  status->setWordWrap(true);
  layout->addWidget(status);

  auto* grid = new QGridLayout;
  for (int k = 0; k < pw::map::kCodeCount; ++k) {
    const QChar letter(char('A' + k));
    auto* combo = new QComboBox(this);
    combo->setObjectName(QStringLiteral("cbxPool") + letter);
    for (const std::string& item : model_.Items(k))
      combo->addItem(Utf8(item));
    combo->setCurrentIndex(model_.Index(k));
    // A code with nothing to choose shows "(none)" and keeps it.
    combo->setEnabled(combo->count() > 1);
    auto* label = new QLabel(QStringLiteral("Code &") + letter + QStringLiteral(":"), this);
    label->setBuddy(combo);
    grid->addWidget(label, k, 0);
    grid->addWidget(combo, k, 1);
    cbxPools_[std::size_t(k)] = combo;
  }
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);

  chkReassign_ = new QCheckBox(
      "&Reassign: new capcodes even for a pager that has some from these pools", this);
  chkReassign_->setObjectName("chkReassign");
  chkReassign_->setChecked(model_.Reassign());
  chkReassign_->setEnabled(model_.Offers());
  layout->addWidget(chkReassign_);
  auto* note = new QLabel("While a pool is chosen, Program reads the pager's serial number and "
                          "takes the capcodes of those codes from the ledger; the other codes "
                          "keep the capcodes in their edits, and no code is stepped.",
                          this);
  note->setObjectName("lblNote");
  note->setWordWrap(true);
  layout->addWidget(note);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("btnOK");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &TFormCapcodePools::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  constexpr int kWidth = 480;
  resize(kWidth, layout->totalHeightForWidth(kWidth));
}

void TFormCapcodePools::accept() {
  for (int k = 0; k < pw::map::kCodeCount; ++k)
    model_.Choose(k, cbxPools_[std::size_t(k)]->currentIndex());
  model_.SetReassign(chkReassign_->isChecked());
  QDialog::accept();
}

void TFormCapcodePools::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  pw::ui::CentreOnOwner(*this);
  for (QComboBox* combo : cbxPools_)
    if (combo->isEnabled()) {
      combo->setFocus(Qt::OtherFocusReason);
      return;
    }
}
