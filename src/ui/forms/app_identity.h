// SPDX-License-Identifier: GPL-3.0-or-later
// How the desktop knows the program: the name "pagewright" (window class), the desktop file
// org.pagewright.Pagewright.desktop named after the AppStream id (so the desktop groups the
// window under its menu entry) and its icon.
// The caption the user reads stays the program's own title.
#pragma once

#include <QIcon>
#include <QString>

namespace pw::ui {

inline constexpr const char* kDesktopName = "pagewright";
inline constexpr const char* kDesktopFileName = "org.pagewright.Pagewright";

// Sets the application name, desktop file name and window icon. Called before the first
// window is created: the window class is taken from the name then.
void SetDesktopIdentity();
// The program's icon at every size it is drawn in.
QIcon ApplicationIcon();

// The title plain message boxes carry: the application title until the main window sets its
// caption.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

} // namespace pw::ui
