// SPDX-License-Identifier: GPL-3.0-or-later
// pagewright: the programming tool's window.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

#include <exception>
#include <memory>

#include "base/clock.h"
#include "link/serial_port.h"
#include "ui/form_model.h"
#include "ui/forms/Editor.h"
#include "ui/forms/Help.h"
#include "ui/forms/Password.h"
#include "ui/forms/Retry.h"
#include "ui/forms/SerialDevice.h"
#include "ui/forms/Ui.h"
#include "ui/forms/app_identity.h"
#include "ui/forms/qt_host.h"
#include "ui/main_controls.h"
#include "ui/user_settings.h"

namespace {

// An exception that escapes an event handler is shown in a box and the program goes on.
class Application : public QApplication {
public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      QMessageBox::critical(activeWindow(), pw::ui::ApplicationTitle(), QString::fromLocal8Bit(e.what()));
    } catch (...) {
      QMessageBox::critical(activeWindow(), pw::ui::ApplicationTitle(), QStringLiteral("Unknown error"));
    }
    return false;
  }
};

} // namespace

int main(int argc, char** argv) {
  Application app(argc, argv);
  // The desktop knows the program as "pagewright"; the user reads its own title.
  pw::ui::SetDesktopIdentity();
  pw::ui::SetApplicationTitle(QString::fromLatin1(pw::ui::kApplicationTitle));

  pw::ui::QtHost host;
  pw::ui::QtShell shell;
  pw::SystemClock clock;
  const std::string programDir =
      pw::ui::FileNameToCore(QCoreApplication::applicationDirPath()) + "/";
  pw::ui::FormModel model(
      host, shell, clock, [](int n, pw::Host& h) { return pw::MakeSystemSerialPort(n, h); },
      programDir);
  model.UseUserSettings(pw::ui::UserSettings::DefaultPath());

  // The five forms, in this order; the main window's creation runs FormCreate.
  TFormUI ui(model, host);
  // Creating the main window has made its caption the application's title, so plain message
  // boxes carry it.
  TFormEditor editor(model.editor(), &ui);
  TFormPassword password(model.password(), &ui);
  TFormHelp help(&ui);
  TForm1 retry(model.retry(), &ui);
  TFormSerialDevice serialDevice(model.deviceDialog(), &ui);
  // The retry dialog closes itself once the main window's Retry_Timer has fired.
  if (QTimer* timer = ui.projection().TimerOf("Retry_Timer"))
    QObject::connect(timer, &QTimer::timeout, &retry, &TForm1::Sync);

  shell.Attach(&ui, [&ui](const std::string& name) { ui.projection().Focus(name); });
  shell.SetEditorWindow([&editor](int) { editor.Execute(); });
  shell.SetSerialDeviceWindow([&serialDevice] { serialDevice.Execute(); });
  shell.SetHelpWindow([&help](const std::vector<std::string>& lines) { help.ShowLines(lines); });

  ui.show(); // FormShow
  return app.exec();
}
