// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/SerialDevice.h"
#include "ui/forms/projection.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

namespace {

constexpr int kWidth = 520;
constexpr int kHeight = 330;

QString Utf8(const std::string& s) {
  return QString::fromStdString(s);
}

} // namespace

TFormSerialDevice::TFormSerialDevice(pw::ui::SerialDeviceDialogModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  const pw::ui::Controls& c = model_.controls;
  setObjectName(QStringLiteral("TFormSerialDevice"));
  setWindowTitle(Utf8(c["TFormSerialDevice"].caption));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFixedSize(kWidth, kHeight);

  lblPort_ = new QLabel(this);
  lblPort_->setObjectName(QStringLiteral("lblPort"));
  lblPort_->setGeometry(10, 8, kWidth - 20, 18);

  lstDevices_ = new QListWidget(this);
  lstDevices_->setObjectName(QStringLiteral("lstDevices"));
  lstDevices_->setGeometry(10, 28, kWidth - 20, 150);
  connect(lstDevices_, &QListWidget::currentRowChanged, this, [this](int row) {
    model_.controls["lstDevices"].itemIndex = row;
    Forward("lstDevices");
  });
  connect(lstDevices_, &QListWidget::itemDoubleClicked, this, [this] { Forward("btnOK"); });

  lblDetails_ = new QLabel(this);
  lblDetails_->setObjectName(QStringLiteral("lblDetails"));
  lblDetails_->setTextFormat(Qt::PlainText);
  lblDetails_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblDetails_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblDetails_->setGeometry(10, 184, kWidth - 20, 82);

  lblNote_ = new QLabel(this);
  lblNote_->setObjectName(QStringLiteral("lblNote"));
  lblNote_->setTextFormat(Qt::PlainText);
  lblNote_->setWordWrap(true);
  lblNote_->setGeometry(10, 268, 250, 56);

  struct Button {
    const char* name;
    int x;
  };
  for (const Button& b :
       {Button{"btnRefresh", 268}, Button{"btnOK", 352}, Button{"btnCancel", 436}}) {
    auto* button = new QPushButton(Utf8(c[b.name].caption), this);
    button->setObjectName(QString::fromLatin1(b.name));
    button->setAutoDefault(false);
    button->setGeometry(b.x, 292, 76, 26);
    const std::string name = b.name;
    connect(button, &QPushButton::clicked, this, [this, name] { Forward(name); });
    if (name == "btnOK") {
      button->setDefault(true);
      btnOK_ = button;
    }
  }
  // Esc and the close box leave without a choice.
  connect(this, &QDialog::rejected, this, [this] {
    if (model_.IsOpen())
      model_.Click("btnCancel");
  });
}

void TFormSerialDevice::Forward(const std::string& control) {
  model_.Click(control);
  Sync();
}

void TFormSerialDevice::Sync() {
  const pw::ui::Controls& c = model_.controls;
  lblPort_->setText(Utf8(c["lblPort"].caption));
  const pw::ui::Control& list = c["lstDevices"];
  {
    QSignalBlocker block(lstDevices_);
    QStringList items;
    for (const std::string& item : list.items)
      items << Utf8(item);
    QStringList shown;
    for (int i = 0; i < lstDevices_->count(); ++i)
      shown << lstDevices_->item(i)->text();
    if (shown != items) {
      lstDevices_->clear();
      lstDevices_->addItems(items);
    }
    lstDevices_->setCurrentRow(list.itemIndex);
  }
  lblDetails_->setText(Utf8(c["lblDetails"].caption));
  lblNote_->setText(Utf8(c["lblNote"].caption));
  btnOK_->setEnabled(c["btnOK"].enabled);
  if (!model_.IsOpen() && isVisible())
    done(model_.Chosen() ? QDialog::Accepted : QDialog::Rejected);
}

void TFormSerialDevice::Execute() {
  Sync();
  exec();
}

void TFormSerialDevice::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  pw::ui::CentreOnOwner(*this);
  lstDevices_->setFocus(Qt::OtherFocusReason);
}
