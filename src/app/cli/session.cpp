// SPDX-License-Identifier: GPL-3.0-or-later
// The headless window the commands drive, and what it shows on a terminal.
#include <cstdio>

#include "app/cli/cli.h"
#include "link/serial_port.h"
#include "ui/serial_devices.h"
#include "ui/user_settings.h"

namespace pw::cli {

namespace {

std::string& ProgramDir() {
  static std::string dir;
  return dir;
}

} // namespace

const std::string& ProgramDirectory() {
  return ProgramDir();
}
void SetProgramDirectory(std::string dir) {
  ProgramDir() = std::move(dir);
}

void Complain(const std::string& text) {
  const std::string line = "pagewright-cli: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

bool LockForUpdate(FileLock& lock, const std::string& path) {
  std::string error;
  if (lock.Acquire(path, error))
    return true;
  std::fprintf(stderr, "%s\n", error.c_str());
  return false;
}

void ReportSettingsProblem(const std::string& problem) {
  static bool reported = false;
  if (problem.empty() || reported)
    return;
  reported = true;
  Complain(problem + "; the settings are left out");
}

namespace {

void PrintTo(const std::function<void(const std::string&)>& print, const std::string& line) {
  if (print)
    print(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

void PrintMessage(const Message& m, const std::function<void(const std::string&)>& print) {
  PrintTo(print, m.text);
  if (!m.detail.empty())
    PrintTo(print, m.detail);
}

} // namespace

void CliHost::Show(const Message& m) {
  progress.Clear();
  PrintMessage(m, Print);
  shown.push_back(m.text);
}

bool CliHost::AskRetryCancel(const Message& m) {
  // Retrying a port that could not even be opened repeats the same failure at once.
  const bool portOpen = model && model->port() && model->port()->IsOpen();
  const bool retry = retries > 0 && portOpen;
  if (retry)
    --retries;
  progress.Clear();
  PrintMessage(m, Print);
  PrintTo(Print, retry ? "[Retry]" : "[Cancel]");
  shown.push_back(m.text);
  return retry;
}

bool CliHost::AskYesNo(const Message& m, bool) {
  progress.Clear();
  PrintMessage(m, Print);
  PrintTo(Print, yes ? "[Yes]" : "[No]");
  return yes;
}

void CliHost::SetText(const std::string& control, const std::string& text) {
  if (model)
    ui::SetControlText(model->controls, control, text);
}

std::string CliHost::Text(const std::string& control) const {
  return model ? ui::ControlText(model->controls, control) : std::string();
}

namespace {

// The device a COM number opens: the one named on the command line, else the one the window's
// Serial Device dialog chose for it (PAGEWRIGHT_COM<n> still wins), else the port's own.
// The model's log names the device opened.
std::unique_ptr<SerialPort> OpenablePort(int n, const std::string& device, Host& host,
                                         ui::FormModel& model) {
  if (!device.empty()) {
    model.SetOpenedDevice(device);
    return MakeSystemSerialPortOnDevice(n, device, host);
  }
  const ui::SerialDevices devices(ui::UserSettings::DefaultPath());
  ReportSettingsProblem(devices.SettingsProblem());
  const ui::PortRoute route = devices.Route(n);
  if (route.from == ui::PortRoute::From::Settings) {
    model.SetOpenedDevice(route.device);
    return MakeSystemSerialPortOnDevice(n, route.device, host);
  }
  return MakeSystemSerialPort(n, host);
}

} // namespace

Session::Session(const std::string& device)
    : model(
          host, shell, clock,
          [this, device](int n, Host& h) {
            return WatchSteps(OpenablePort(n, device, h, model), host.progress);
          },
          ProgramDirectory()) {
  host.model = &model;
  model.FormCreate();
}

} // namespace pw::cli
