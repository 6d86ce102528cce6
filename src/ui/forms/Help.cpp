// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/Help.h"
#include "ui/forms/projection.h"

#include <QAction>
#include <QFont>
#include <QLabel>
#include <QShowEvent>
#include <QTextEdit>

namespace {

constexpr int kHelpClientWidth = 530;
constexpr int kHelpClientHeight = 352;
constexpr const char* kHelpLabel = "Help on the field, option or command last used:";

QFont CourierNew(int points) {
  QFont font(QStringLiteral("Courier New"), points);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

} // namespace

TFormHelp::TFormHelp(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TFormHelp"));
  setWindowTitle(QStringLiteral("Help"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFixedSize(kHelpClientWidth, kHelpClientHeight);

  lblHelp_ = new QLabel(QString::fromLatin1(kHelpLabel), this);
  lblHelp_->setObjectName(QStringLiteral("lblHelp"));
  lblHelp_->setFont(CourierNew(9));
  lblHelp_->setGeometry(8, 6, kHelpClientWidth - 16, 18);

  richEditHelp_ = new QTextEdit(this);
  richEditHelp_->setObjectName(QStringLiteral("RichEditHelp"));
  richEditHelp_->setReadOnly(true);
  richEditHelp_->setAcceptRichText(false);
  // A vertical scroll bar only: a line too long for the box wraps.
  richEditHelp_->setLineWrapMode(QTextEdit::WidgetWidth);
  richEditHelp_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  richEditHelp_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  richEditHelp_->setFont(CourierNew(9));
  QPalette palette = richEditHelp_->palette();
  palette.setColor(QPalette::Base, QColor(227, 227, 227)); // light 3-D grey
  richEditHelp_->setPalette(palette);
  richEditHelp_->setGeometry(8, 28, kHelpClientWidth - 16, kHelpClientHeight - 36);

  auto* esc = new QAction(this);
  esc->setObjectName(QStringLiteral("Esc2"));
  esc->setShortcut(QKeySequence(Qt::Key_Escape));
  esc->setShortcutContext(Qt::WindowShortcut);
  connect(esc, &QAction::triggered, this, &QDialog::reject);
  addAction(esc);
}

void TFormHelp::Fill(const std::vector<std::string>& lines) {
  // Joined by line feeds, a stored line's own trailing "\n" becomes the empty line after it.
  QString text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0)
      text += QLatin1Char('\n');
    text += QString::fromLatin1(lines[i].data(), static_cast<qsizetype>(lines[i].size()));
  }
  richEditHelp_->setPlainText(text);
  richEditHelp_->moveCursor(QTextCursor::Start);
}

void TFormHelp::ClearText() {
  richEditHelp_->clear();
}

QString TFormHelp::Text() const {
  return richEditHelp_->toPlainText();
}

void TFormHelp::ShowLines(const std::vector<std::string>& lines) {
  Fill(lines);
  exec();
  ClearText();
}

void TFormHelp::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  // Centred on the main window, frames included (known once the window exists).
  pw::ui::CentreOnOwner(*this);
}
