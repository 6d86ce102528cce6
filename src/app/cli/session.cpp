// The headless window the commands drive, and what it shows on a terminal.
#include <cstdio>

#include "app/cli/cli.h"
#include "link/serial_port.h"

namespace pw::cli {

namespace {

std::string& ProgramDir() {
  static std::string dir;
  return dir;
}

} // namespace

const char* ProgramVersion() {
  return PAGEWRIGHT_VERSION;
}

const std::string& ProgramDirectory() {
  return ProgramDir();
}
void SetProgramDirectory(std::string dir) {
  ProgramDir() = std::move(dir);
}

void Complain(const std::string& text) {
  std::fprintf(stderr, "pagewright-cli: %s\n", text.c_str());
}

bool IsDataFileName(const std::string& path) {
  if (path.size() < 4)
    return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext)
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == ".dat";
}

void CliHost::Show(const Message& m) {
  std::fprintf(stderr, "%s\n", m.text.c_str());
  shown.push_back(m.text);
}

bool CliHost::AskRetryCancel(const Message& m) {
  // Retrying a port that could not even be opened repeats the same failure at once.
  const bool portOpen = model && model->port() && model->port()->IsOpen();
  const bool retry = retries > 0 && portOpen;
  if (retry)
    --retries;
  std::fprintf(stderr, "%s\n[%s]\n", m.text.c_str(), retry ? "Retry" : "Cancel");
  shown.push_back(m.text);
  return retry;
}

bool CliHost::AskYesNo(const Message& m, bool) {
  std::fprintf(stderr, "%s\n[%s]\n", m.text.c_str(), yes ? "Yes" : "No");
  return yes;
}

void CliHost::SetText(const std::string& control, const std::string& text) {
  if (model)
    ui::SetControlText(model->controls, control, text);
}

std::string CliHost::Text(const std::string& control) const {
  return model ? ui::ControlText(model->controls, control) : std::string();
}

Session::Session(const std::string& device)
    : model(
          host, shell, clock,
          [device](int n, Host& h) {
            return device.empty() ? MakeSystemSerialPort(n, h)
                                  : MakeSystemSerialPortOnDevice(n, device, h);
          },
          ProgramDirectory()) {
  host.model = &model;
  model.FormCreate();
}

} // namespace pw::cli
