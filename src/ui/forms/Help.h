// SPDX-License-Identifier: GPL-3.0-or-later
// TFormHelp: the modal help window. The text is built by the caller just before it is shown
// and removed again as soon as the window closes.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QShowEvent;
class QTextEdit;

class TFormHelp : public QDialog {
  Q_OBJECT
public:
  explicit TFormHelp(QWidget* parent);

  // Fills RichEditHelp with the lines (a line ending in "\n" is followed by an empty line),
  // shows the window modally centred on its parent, and empties it again once closed.
  void ShowLines(const std::vector<std::string>& lines);

  // The same without the modal loop, for the parts of ShowLines.
  void Fill(const std::vector<std::string>& lines);
  void ClearText();
  QString Text() const; // what RichEditHelp shows, lines joined by "\n"

protected:
  void showEvent(QShowEvent* event) override;

private:
  QLabel* lblHelp_;
  QTextEdit* richEditHelp_;
};
