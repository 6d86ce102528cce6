// SPDX-License-Identifier: GPL-3.0-or-later
// Where the window and its dialogs come up on a real X server with a real window manager:
// this program starts its own Xvfb (a free display number) and openbox, and measures every
// window as the X server has it, frame included. Each start opens each dialog several times.
// Run with QT_SCALE_FACTOR=2 the Scaled tests check the window at twice the size.
// With PAGEWRIGHT_SCREENSHOTS set to a folder, the screen is saved there as pictures.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/clock.h"
#include "sim/in_process_port.h"
#include "sim/pager_firmware.h"
#include "ui/form_model.h"
#include "ui/forms/Editor.h"
#include "ui/forms/Help.h"
#include "ui/forms/SerialDevice.h"
#include "ui/forms/Ui.h"
#include "ui/forms/qt_host.h"
#include "ui/help_texts.h"

namespace pw::test {
namespace {

namespace fs = std::filesystem;

bool OnPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// What a command prints on its standard output.
std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    std::array<char, 512> buffer;
    while (std::fgets(buffer.data(), buffer.size(), pipe))
      text += buffer.data();
    ::pclose(pipe);
  }
  return text;
}

// The X server and the window manager of this run.
class XSession {
public:
  // Starts Xvfb on the first free display and openbox on it; false when either is missing or
  // does not come up.
  bool Start(const std::string& screen) {
    if (!OnPath("Xvfb") || !OnPath("openbox") || !OnPath("xprop") || !OnPath("xwininfo"))
      return false;
    int fds[2];
    if (::pipe(fds) != 0)
      return false;
    xvfb_ = ::fork();
    if (xvfb_ == 0) {
      ::close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    char ch;
    while (::read(fds[0], &ch, 1) == 1 && ch != '\n')
      number += ch;
    ::close(fds[0]);
    if (number.empty())
      return false;
    display_ = ":" + number;
    ::setenv("DISPLAY", display_.c_str(), 1);
    openbox_ = ::fork();
    if (openbox_ == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // The window manager is there once it has named itself on the root window.
    for (int i = 0; i < 500; ++i) {
      if (Output("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") !=
          std::string::npos)
        return true;
      ::usleep(20000);
    }
    return false;
  }

  void Stop() {
    for (pid_t* pid : {&openbox_, &xvfb_}) {
      if (*pid > 0) {
        ::kill(*pid, SIGTERM);
        ::waitpid(*pid, nullptr, 0);
      }
      *pid = -1;
    }
  }

  const std::string& Display() const { return display_; }

private:
  pid_t xvfb_ = -1;
  pid_t openbox_ = -1;
  std::string display_;
};

XSession* g_session = nullptr; // null: no X server for these tests

// A window's rectangle on the X server, frame included, in the server's pixels.
struct Frame {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Frame&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Frame& f) {
  return out << f.width << "x" << f.height << "+" << f.x << "+" << f.y;
}

int Field(const std::string& text, const std::string& name) {
  const std::size_t at = text.find(name);
  return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + name.size());
}

// The frame as the server has it: the client's place on the root window and the frame's
// extents that openbox announces. Nothing while the window is not mapped and framed.
std::optional<Frame> ServerFrame(WId id) {
  const std::string info = Output("xwininfo -id " + std::to_string(id) + " 2>/dev/null");
  if (info.find("IsViewable") == std::string::npos)
    return std::nullopt;
  const std::string extents =
      Output("xprop -id " + std::to_string(id) + " _NET_FRAME_EXTENTS 2>/dev/null");
  const std::size_t eq = extents.find(" = ");
  if (eq == std::string::npos)
    return std::nullopt;
  int left = 0, right = 0, top = 0, bottom = 0;
  if (std::sscanf(extents.c_str() + eq + 3, "%d, %d, %d, %d", &left, &right, &top, &bottom) != 4)
    return std::nullopt;
  return Frame{Field(info, "Absolute upper-left X:") - left,
               Field(info, "Absolute upper-left Y:") - top, Field(info, "Width:") + left + right,
               Field(info, "Height:") + top + bottom};
}

// Waits until the window is mapped, framed and stays where it is, then says where.
Frame SettledFrame(QWidget& window) {
  std::optional<Frame> last;
  int same = 0;
  for (int i = 0; i < 300; ++i) {
    QTest::qWait(15);
    const std::optional<Frame> now = ServerFrame(window.winId());
    same = now && last && *now == *last ? same + 1 : 0;
    if (same == 3)
      return *now;
    last = now;
  }
  return last.value_or(Frame{});
}

Frame CentredIn(const Frame& area, const Frame& window) {
  return {area.x + (area.width - window.width) / 2, area.y + (area.height - window.height) / 2,
          window.width, window.height};
}

void SaveScreen(const char* name) {
  const QByteArray dir = qgetenv("PAGEWRIGHT_SCREENSHOTS");
  if (dir.isEmpty())
    return;
  QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(dir) +
                                                       QLatin1Char('/') + QLatin1String(name));
}

// One start of the program: the model, the main window and the dialogs it opens.
class WindowPlacementTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!g_session)
      GTEST_SKIP() << "Xvfb and openbox are needed";
  }
  void TearDown() override { Stop(); }

  void Start() {
    dir = fs::temp_directory_path() / ("pagewright-placement-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    model = std::make_unique<ui::FormModel>(
        host, shell, clock,
        [this](int, Host&) { return std::make_unique<sim::InProcessPagerPort>(pager, clock); },
        dir.string());
    ui = std::make_unique<TFormUI>(*model, host);
    editor = std::make_unique<TFormEditor>(model->editor(), ui.get());
    help = std::make_unique<TFormHelp>(ui.get());
    devices = std::make_unique<TFormSerialDevice>(model->deviceDialog(), ui.get());
    shell.Attach(ui.get(), [this](const std::string& n) { ui->projection().Focus(n); });
    ui->show();
  }
  void Stop() {
    devices.reset();
    help.reset();
    editor.reset();
    ui.reset();
    model.reset();
    if (!dir.empty())
      fs::remove_all(dir);
  }

  // Opens a modal dialog with open, measures it once it has settled, closes it with close.
  Frame Measure(QWidget& dialog, const std::function<void()>& open,
                const std::function<void()>& close, const char* shot = nullptr) {
    Frame frame;
    QTimer::singleShot(0, &dialog, [&] {
      frame = SettledFrame(dialog);
      if (shot)
        SaveScreen(shot);
      close();
    });
    open();
    return frame;
  }
  Frame MeasureHelp(const char* shot = nullptr) {
    return Measure(
        *help, [&] { help->ShowLines(ui::CommandTopicLines(5)); }, [&] { help->reject(); }, shot);
  }
  Frame MeasureEditor(const char* shot = nullptr) {
    return Measure(
        *editor, [&] { editor->ShowSet(1); }, [&] { editor->close(); }, shot);
  }
  Frame MeasureSerialDevice(const char* shot = nullptr) {
    return Measure(
        *devices,
        [&] {
          model->deviceDialog().Open(1);
          devices->Execute();
        },
        [&] { devices->reject(); }, shot);
  }
  Frame Screen() const {
    const QRect r = QGuiApplication::primaryScreen()->geometry();
    const qreal scale = QGuiApplication::primaryScreen()->devicePixelRatio();
    return {0, 0, static_cast<int>(r.width() * scale), static_cast<int>(r.height() * scale)};
  }

  fs::path dir;
  ui::QtHost host;
  ui::QtShell shell;
  VirtualClock clock;
  sim::PagerFirmware pager;
  std::unique_ptr<ui::FormModel> model;
  std::unique_ptr<TFormUI> ui;
  std::unique_ptr<TFormEditor> editor;
  std::unique_ptr<TFormHelp> help;
  std::unique_ptr<TFormSerialDevice> devices;
};

TEST_F(WindowPlacementTest, EveryDialogComesUpCentredEachTimeItOpens) {
  for (int start = 1; start <= 3; ++start) {
    SCOPED_TRACE("start " + std::to_string(start));
    Start();
    const Frame main = SettledFrame(*ui);
    EXPECT_EQ(main, CentredIn(Screen(), main)) << "the main window on the screen";
    for (int time = 1; time <= 3; ++time) {
      SCOPED_TRACE("opening " + std::to_string(time));
      const bool first = start == 1 && time == 1;
      const Frame shown = MeasureHelp(first ? "placement_help.png" : nullptr);
      EXPECT_EQ(shown, CentredIn(main, shown)) << "Help on the main window";
      const Frame set = MeasureEditor(first ? "placement_editor.png" : nullptr);
      EXPECT_EQ(set, CentredIn(Screen(), set)) << "the editor on the screen";
      const Frame device = MeasureSerialDevice(first ? "placement_serial_device.png" : nullptr);
      EXPECT_EQ(device, CentredIn(main, device)) << "Serial Device on the main window";
    }
    EXPECT_EQ(SettledFrame(*ui), main) << "the main window stays where it was";
    Stop();
  }
}

// At twice the size the fixed window is larger than a 1280x1024 screen: its title bar and
// menus stay on the screen, and so do the dialogs'.
TEST_F(WindowPlacementTest, ScaledTheTopLeftCornersStayOnTheScreen) {
  if (QGuiApplication::primaryScreen()->devicePixelRatio() < 2)
    GTEST_SKIP() << "run with QT_SCALE_FACTOR=2";
  Start();
  const Frame main = SettledFrame(*ui);
  SaveScreen("placement_scaled.png");
  EXPECT_GE(main.x, 0) << main;
  EXPECT_GE(main.y, 0) << main;
  EXPECT_GT(main.width, Screen().width) << "the window is larger than the screen";
  for (const Frame& dialog : {MeasureHelp(), MeasureEditor(), MeasureSerialDevice()}) {
    EXPECT_GE(dialog.x, 0) << dialog;
    EXPECT_GE(dialog.y, 0) << dialog;
  }
}

} // namespace
} // namespace pw::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  pw::test::XSession session;
  namespace fs = std::filesystem;
  const fs::path home =
      fs::temp_directory_path() / ("pagewright-placement-home-" + std::to_string(::getpid()));
  fs::create_directories(home);
  // Nothing of this run reaches the user's own folders.
  ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  if (session.Start("1280x1024x24")) {
    pw::test::g_session = &session;
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  int result = 0;
  {
    std::unique_ptr<QApplication> app;
    if (pw::test::g_session)
      app = std::make_unique<QApplication>(argc, argv);
    result = RUN_ALL_TESTS();
  }
  session.Stop();
  fs::remove_all(home);
  return result;
}
