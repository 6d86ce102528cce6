// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/PagerHistory.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/forms/projection.h"

namespace {
QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
} // namespace

TFormPagerHistory::TFormPagerHistory(pw::ui::PagerHistoryModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setObjectName("TFormPagerHistory");
  setWindowTitle("Pager History");
  auto* layout = new QVBoxLayout(this);
  auto* where = new QLabel(Utf8("Ledger: " + model_.LedgerShown()), this);
  where->setObjectName("lblLedger");
  layout->addWidget(where);
  auto* row = new QHBoxLayout;
  auto* label = new QLabel("Serial number or capcode:", this);
  edtQuery_ = new QLineEdit(this);
  edtQuery_->setObjectName("edtQuery");
  label->setBuddy(edtQuery_);
  auto* find = new QPushButton("&Find", this);
  find->setObjectName("btnFind");
  find->setDefault(true);
  row->addWidget(label);
  row->addWidget(edtQuery_, 1);
  row->addWidget(find);
  layout->addLayout(row);
  const std::vector<std::string>& header = pw::ui::PagerHistoryModel::Header();
  tblRecords_ = new QTableWidget(0, int(header.size()), this);
  tblRecords_->setObjectName("tblRecords");
  QStringList titles;
  for (const std::string& h : header)
    titles << Utf8(h);
  tblRecords_->setHorizontalHeaderLabels(titles);
  tblRecords_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblRecords_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblRecords_->verticalHeader()->hide();
  layout->addWidget(tblRecords_, 1);
  lblStatus_ = new QLabel(this);
  lblStatus_->setObjectName("lblStatus");
  layout->addWidget(lblStatus_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(find, &QPushButton::clicked, this, &TFormPagerHistory::Search);
  connect(edtQuery_, &QLineEdit::returnPressed, this, &TFormPagerHistory::Search);
  resize(900, 420);
}

void TFormPagerHistory::Search() {
  model_.Search(edtQuery_->text().toStdString());
  const auto& rows = model_.Rows();
  tblRecords_->setRowCount(int(rows.size()));
  for (int r = 0; r < int(rows.size()); ++r)
    for (int c = 0; c < int(rows[std::size_t(r)].size()); ++c)
      tblRecords_->setItem(r, c, new QTableWidgetItem(Utf8(rows[std::size_t(r)][std::size_t(c)])));
  tblRecords_->resizeColumnsToContents();
  lblStatus_->setText(Utf8(model_.Status()));
}

void TFormPagerHistory::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  pw::ui::CentreOnOwner(*this);
  edtQuery_->setFocus(Qt::OtherFocusReason);
}
