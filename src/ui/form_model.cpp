// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/form_model.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "base/timer_resolution.h"
#include "base/user_dirs.h"
#include "base/version.h"
#include "batch/batch_runner.h"
#include "batch/programming_log.h"
#include "codeplug/flex_address.h"
#include "files/file_io.h"
#include "link/link_protocol.h"
#include "transactions/transaction_steps.h"
#include "transactions/transactions.h"
#include "ui/batch_station.h"
#include "ui/main_controls.h"
#include "ui/settings.h"
#include "ui/user_settings.h"

namespace pw::ui {

namespace {

enum class Command {
  None,       // inert: hidden service items and items without action
  Load,       // validates the pending field first
  LoadDirect, // btnF8Load: no validation
  Save,
  SaveButton,
  Read,
  ReadDirect, // btnF3Read: its Exit handler already validated the field
  Program,
  ProgramButton,
  Exit,
  Help,
  HelpButton,
  AddressPage,
  StandardPage,
  PageUp,
  PageDown,
  About,
  Version,
  OpenLog,
  PagerHistory,
  BenchName,
  CapcodePools,
  Option, // the Options menu's remembered switches
  SerialDevice,
  OpenFolder, // the backups or the traces folder in the desktop's file manager
};

struct CommandRow {
  std::string_view control;
  Command command;
};

// Which command each tool button, menu item and push button runs.
constexpr CommandRow kCommandMap[] = {
    {"ToolButton1", Command::Load},          {"Open1", Command::Load},
    {"btnF8Load", Command::LoadDirect},      {"ToolButton2", Command::Save},
    {"Save1", Command::Save},                {"btnF7SaveAs", Command::SaveButton},
    {"ToolButton3", Command::Read},          {"Read1", Command::Read},
    {"btnF3Read", Command::ReadDirect},      {"ToolButton4", Command::Program},
    {"Write1", Command::Program},            {"btnF4Program", Command::ProgramButton},
    {"ToolButton5", Command::Exit},          {"Exit1", Command::Exit},
    {"btnF10Exit", Command::Exit},           {"Help2", Command::Help},
    {"btnF1Help", Command::HelpButton},      {"FLEXAddressOption", Command::AddressPage},
    {"StandardOption", Command::StandardPage}, {"PageUp1", Command::PageUp},
    {"PageDown1", Command::PageDown},        {"About1", Command::About},
    {"Version1", Command::Version},          {"OpenProgrammingLog1", Command::OpenLog},
    {"VerifyAfterProgramming1", Command::Option},
    {"BackUpBeforeProgramming1", Command::Option}, {"SerialTrace1", Command::Option},
    {"SerialDevice1", Command::SerialDevice},
    {"PagerHistory1", Command::PagerHistory}, {"BenchName1", Command::BenchName},
    {"CapcodePools1", Command::CapcodePools},
    {"OpenBackupsFolder1", Command::OpenFolder}, {"OpenTracesFolder1", Command::OpenFolder},
};

// The Options menu's switches: the item, its key in the user's settings file, and whether it
// is on before the user chose.
struct OptionRow {
  std::string_view item;
  std::string_view key;
  bool fallback;
};
constexpr std::string_view kVerifyItem = "VerifyAfterProgramming1";
constexpr std::string_view kBackupItem = "BackUpBeforeProgramming1";
constexpr std::string_view kTraceItem = "SerialTrace1";
constexpr OptionRow kOptions[] = {
    {kVerifyItem, "options.verify", true},
    {kBackupItem, "options.backup", false},
    {kTraceItem, "options.trace", false},
};
constexpr std::string_view kTraceFailText = "Serial Trace Fail, the trace cannot be written.";
constexpr std::string_view kSettingsFailText =
    "The settings cannot be read; the program starts with its defaults.";

Command CommandOf(std::string_view name) {
  for (const CommandRow& row : kCommandMap)
    if (row.control == name) return row.command;
  return Command::None;
}

// Controls disabled while a transaction runs.
constexpr std::string_view kBusyControls[] = {
    "ToolButton1", "ToolButton2", "ToolButton3", "ToolButton4", "ToolButton5", "btnF1Help",
    "btnF3Read",   "btnF4Program", "btnF7SaveAs", "btnF8Load",  "btnF10Exit",  "File1",
    "Options1",    "ReadProgram1", "Superkey"};
constexpr std::string_view kSaveProgramControls[] = {"Save1",       "Write1",       "ToolButton2",
                                                     "ToolButton4", "btnF4Program", "btnF7SaveAs"};
constexpr std::string_view kAlwaysRestored[] = {"ToolButton1", "ToolButton3", "ToolButton5",
                                                "btnF1Help",   "btnF3Read",   "btnF8Load",
                                                "btnF10Exit",  "File1",       "Options1",
                                                "ReadProgram1", "Superkey"};

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

} // namespace

FormModel::FormModel(Host& host, Shell& shell, Clock& clock, PortFactory ports,
                     std::string programDir)
    : host_(host), shell_(shell), clock_(clock), ports_(std::move(ports)),
      devicePorts_(MakeSystemSerialPortOnDevice), programDir_(std::move(programDir)),
      link_(std::make_unique<Link>(clock, host)) {
  if (!programDir_.empty() && programDir_.back() != '/' && programDir_.back() != '\\')
    programDir_ += '/';
  settingsPath_ = SettingsDirectory(programDir_) + kSettingsFileName;
  UseUserSettings({});
}

void FormModel::UseUserSettings(const std::filesystem::path& path) {
  userSettingsPath_ = path;
  UseSerialDevices(std::make_unique<SerialDevices>(path));
  dialogFolder_ = std::make_unique<DialogFolder>(programDir_, WorksBesideProgram(programDir_), path);
}

void FormModel::UseSerialDevices(std::unique_ptr<SerialDevices> devices) {
  devices_ = std::move(devices);
  deviceDialog_ = std::make_unique<SerialDeviceDialogModel>(*devices_);
}

FormModel::~FormModel() = default;

void FormModel::FormCreate() {
  // 1. The codeplug model holds the default codeplug since its construction; fill the pages.
  BuildMainControls(controls);
  SyncOptionItems();
  view_ = std::make_unique<PersonalityView>(controls, codeplug, host_, state);
  // The other forms, created after the main window in this order: editor, password, help,
  // retry.
  editor_ = std::make_unique<EditorModel>(codeplug, controls, host_, shell_);
  help_ = std::make_unique<HelpController>(state, controls, shell_);
  retry_ = std::make_unique<RetryDialogModel>(controls);
  view_->LedFlashForeverChanged = [this] { editor_->FollowLedFlashForever(); };

  // 2. Start texts.
  for (const CodeRowNames& row : CodeRows()) {
    controls.SetText(row.code, "0000000");
    controls.SetText(row.incDec, "0");
  }
  controls.SetText("edtFrame1", "000");
  controls.SetText("edtFrame2", "000");
  controls.SetText("edtBatteryCycle1", "0");
  controls.SetText("edtBatteryCycle2", "0");

  // 3. Radio groups of the band and the synthesizer type are fixed for the user.
  controls.SetEnabled("rgpBandOption", false);
  controls.SetEnabled("rgpPLLICOption", false);
  controls.SetVisible("rgpPLLICOption", false);
  controls["edtPagerPassword"].passwordChar = '*';

  // 4. Caption, firmware labels, codeplug version.
  controls.SetCaption("TFormUI", kMainCaption);
  controls.SetVisible("lblFirewareVersion", false);
  controls.SetVisible("lblFireware_Version", false);
  controls.SetCaption("lblCodeplug_Version", "R" + codeplug.StampText());

  // 5. Save and Program wait for the first Read or Load.
  for (std::string_view name : kSaveProgramControls) controls.SetEnabled(name, false);

  // 6. Shape the pages for this pager model.
  for (const char* name :
       {"rgpCodingFormatBaudRate", "lblVersion", "Label2", "Label3", "gpbCodeA1", "gpbFrame1",
        "gpbBatteryCycle1", "gpbCodeB1", "gpbFrame2", "gpbBatteryCycle2", "rgpType",
        "gpbPagerPassword", "gpbDisplayEntry", "chkMemoryCleanup", "chkBeeponBadData",
        "chkCustomDisplay", "chkDownloadPassword", "chkPRCCharacterSet", "gpbPowerCadence",
        "gpbPowerLED", "gpbPowerTime", "rgpOutofRangeTimer", "gpbChargeroffRecharg",
        "gpbLowBattery", "gpbBEEPFrequency", "gpbDisCharging", "gpbCharging", "edtR", "edtN",
        "lblR", "lblN", "chkSpur"})
    controls.SetVisible(name, false);
  for (const CodeRowNames& row : CodeRows()) controls.SetEnabled(row.voice, false);
  controls.SetEnabled("chkOutofRangeVoice", false);
  controls.SetEnabled("chkPowerAlertVoice", false);
  controls.SetChecked("chkAutoIncrementorDecrement", false);
  controls.SetEnabled("rgpCapCodeAutoIncrementDecrement", false);
  controls["rgpCapCodeAutoIncrementDecrement"].itemIndex = 0;
  for (const CodeRowNames& row : CodeRows()) controls.SetEnabled(row.incDec, false);

  // 7. Maximum input lengths.
  auto setMax = [this](std::string_view name, int n) { controls[name].maxLength = n; };
  for (int k = 1; k <= 6; ++k) {
    const CodeRowNames& row = CodeRows()[k - 1];
    setMax(row.time, 2);
    setMax(row.repeat, 2);
    setMax(row.cadence, 8);
    setMax(row.code, 9);
    setMax(row.incDec, 1);
  }
  for (const char* n : {"edtOutofRangeTime", "edtOutofRangeRepeatcnt", "edtPowerAlertTime",
                        "edtPowerAlertRepeatcnt", "edtPowerLEDON"})
    setMax(n, 2);
  for (const char* n : {"edtPowerCadence", "edtOutofRangeCadence", "edtPowerAlertCadence"})
    setMax(n, 8);
  for (const char* n : {"edtPowerTime", "edtOutofRangeTimer", "edtPowerLEDOFF"}) setMax(n, 3);
  for (const char* n : {"edtUp1", "edtUp2", "edtUp3", "edtUp4", "edtDown1", "edtDown2", "edtDown3",
                        "edtDown4", "edtChargeroff", "edtRecharg", "edtLowBatteryRecovery",
                        "edtLowBatteryWarning", "edtBEEPFrequency"})
    setMax(n, 4);
  setMax("edtSerialNumber", 10);
  controls.SetEnabled("edtSerialNumber", false);
  setMax("edtFrequency", 8);
  setMax("edtPagerPassword", 10);
  setMax("edtDisplayEntry", 12);

  // Fill both pages from the default codeplug.
  state.ActivePage = 1;
  view_->RefreshActivePage();
  state.ActivePage = 0;
  controls["PCAll"].itemIndex = 0;
  view_->RefreshActivePage();
  state.AddressTopic = state.StandardTopic = state.CommandTopic = -1;
}

void FormModel::FormShow() {
  view_->RefreshActivePage();

  PortSettings settings;
  if (FileExists(settingsPath_)) {
    std::string problem;
    settings = ReadSettings(settingsPath_, &problem);
    if (!problem.empty())
      host_.Show(Message{std::string(kSettingsFailText), "Error", Icon::Error, problem});
  } else {
    WriteSettings(settingsPath_, settings);
  }
  portNumber_ = settings.port;
  visiblePortCount_ = settings.visiblePortCount;
  for (int n = 1; n <= 256; ++n) {
    Control& item = controls["UseCOM" + std::to_string(n)];
    item.visible = n <= visiblePortCount_;
    item.checked = n == portNumber_;
  }
  LoadUserOptions();
  OpenPort(portNumber_);
}

void FormModel::FormClose() {
  if (port_ && port_->IsOpen()) port_->Close();
  port_.reset();
}

void FormModel::OpenPort(int n) {
  const PortRoute route = devices_->Route(n);
  // The port's own device goes by its usual name; a chosen or named one by its path. A port
  // factory that routes devices itself names the one it opens (SetOpenedDevice).
  if (route.from == PortRoute::From::Own) {
#ifdef _WIN32
    openedDevice_ = PortDisplayName(n);
#else
    openedDevice_ = PosixDevicePath(n);
#endif
  } else {
    openedDevice_ = route.device;
  }
  if (route.from == PortRoute::From::Settings && devicePorts_) {
    port_ = devicePorts_(n, route.device, host_);
  } else {
    port_ = ports_ ? ports_(n, host_) : nullptr;
  }
  // The window names the port's device before a failed open's message covers it.
  Control& shown = controls["lblPortDevice"];
  shown.caption = devices_->PortLabel(n);
  shown.hint = shown.caption + "\n" + DeviceDetails(devices_->Describe(route.device));
  WrapPortForTrace();
  if (port_) port_->Open(1200, 0, 8, 1.0f);
  if (!port_ || !port_->IsOpen())
    controls["lblPortDevice"].caption = devices_->PortLabel(n, false);
}

// ---- Options -------------------------------------------------------------------------------

// The items show the switches; they exist once the window is created.
void FormModel::SyncOptionItems() {
  const std::pair<std::string_view, bool> states[] = {
      {kVerifyItem, verify_}, {kBackupItem, !backupDirectory_.empty()}, {kTraceItem, trace_ != nullptr}};
  for (const auto& [item, on] : states)
    if (Control* c = controls.Find(item)) c->checked = on;
}

void FormModel::SetVerifyAfterProgram(bool on) {
  verify_ = on;
  SyncOptionItems();
}

void FormModel::SetBackupDirectory(std::filesystem::path folder) {
  backupDirectory_ = std::move(folder);
  SyncOptionItems();
}

bool FormModel::TraceTo(const std::filesystem::path& file, std::string* error) {
  StopTrace();
  auto trace = std::make_shared<SerialTrace>(file, clock_);
  if (!trace->Begin()) {
    if (error) *error = trace->Error();
    return false;
  }
  trace_ = std::move(trace);
  WrapPortForTrace();
  SyncOptionItems();
  return true;
}

void FormModel::StopTrace() {
  if (auto* tracing = dynamic_cast<TracingPort*>(port_.get())) port_ = tracing->Release();
  trace_.reset();
  SyncOptionItems();
}

void FormModel::WrapPortForTrace() {
  if (trace_ && port_ && !dynamic_cast<TracingPort*>(port_.get()))
    port_ = std::make_unique<TracingPort>(std::move(port_), trace_, PortDisplayName(portNumber_));
}

// One trace file per session of the window, in the user's data folder.
void FormModel::StartSessionTrace() {
  const std::filesystem::path folder = UserDataDirectory() / "traces";
  std::string error;
  if (!EnsureDirectory(folder, &error) ||
      !TraceTo(folder / TraceFileName(std::time(nullptr)), &error)) {
    host_.Show(Message{std::string(kTraceFailText), "Error", Icon::Error, error});
  }
}

void FormModel::LoadUserOptions() {
  const UserSettings settings = UserSettings::Load(userSettingsPath_);
  if (!settings.problem().empty())
    host_.Show(Message{std::string(kSettingsFailText), "Error", Icon::Error, settings.problem()});
  auto on = [&](const OptionRow& row) { return settings.Flag(std::string(row.key), row.fallback); };
  SetVerifyAfterProgram(on(kOptions[0]));
  SetBackupDirectory(on(kOptions[1]) ? UserDataDirectory() / "backups" : std::filesystem::path());
  if (on(kOptions[2]))
    StartSessionTrace();
  else
    StopTrace();
  RestorePoolChoice();
}

void FormModel::ToggleOption(const std::string& item) {
  const bool on = !controls[item].checked; // menu items are not flipped by Click
  if (item == kVerifyItem) {
    SetVerifyAfterProgram(on);
  } else if (item == kBackupItem) {
    SetBackupDirectory(on ? UserDataDirectory() / "backups" : std::filesystem::path());
  } else if (on) {
    StartSessionTrace();
  } else {
    StopTrace();
  }
  UserSettings settings = UserSettings::Load(userSettingsPath_);
  for (const OptionRow& row : kOptions)
    if (row.item == item) settings.SetFlag(std::string(row.key), controls[item].checked);
  settings.Save();
}

void FormModel::UsePort(int n) {
  if (port_ && port_->IsOpen()) port_->Close();
  portNumber_ = n;
  OpenPort(n);
}

void FormModel::ChoosePort(int n) {
  if (!FileExists(settingsPath_)) return;
  if (port_ && port_->IsOpen()) port_->Close();
  WriteSettings(settingsPath_, PortSettings{n, visiblePortCount_});
  portNumber_ = n;
  for (int i = 1; i <= 256; ++i) controls["UseCOM" + std::to_string(i)].checked = i == n;
  OpenPort(n);
}

// The device chosen in the dialog serves the current COM number from now on, in this and
// later sessions; the port is reopened on it as a port choice reopens it.
void FormModel::ChooseSerialDevice() {
  deviceDialog_->Open(portNumber_);
  shell_.ShowSerialDevices();
  const std::optional<std::string> chosen = deviceDialog_->Chosen();
  if (!chosen) return;
  if (!devices_->Assign(portNumber_, *chosen))
    host_.ShowBox("Cannot write the settings file " + devices_->SettingsPath().string() +
                      ": the device is used until the program ends.",
                  "Warning", Icon::Warning);
  if (port_ && port_->IsOpen()) port_->Close();
  OpenPort(portNumber_);
}

// ---- Events --------------------------------------------------------------------------------

void FormModel::Enter(const std::string& name) {
  if (view_->HandlesControl(name)) {
    view_->Enter(name);
    return;
  }
  static const std::pair<std::string_view, int> buttonTopics[] = {
      {"btnF3Read", 1}, {"btnF4Program", 2}, {"btnF7SaveAs", 3}, {"btnF8Load", 4}, {"btnF10Exit", 5}};
  static const std::pair<std::string_view, const char*> buttonHelp[] = {
      {"btnF3Read", "Read a pager via the hard-contact interface"},
      {"btnF4Program", "Program a pager via the hard-contact interface"},
      {"btnF7SaveAs", "Save the current pager personality to disk"},
      {"btnF8Load", "Load a pager personality from disk"},
      {"btnF10Exit", "Exit the programmer"}};
  for (const auto& [button, topic] : buttonTopics) {
    if (name == button) {
      state.AddressTopic = -1;
      state.StandardTopic = -1;
      state.CommandTopic = topic;
      for (const auto& [b, text] : buttonHelp)
        if (b == button) controls.SetCaption("lblHelp1", text);
      return;
    }
  }
  if (name == "btnF1Help") {
    HelpButtonEnter();
  } else if (name == "PCAll") {
    state.AddressTopic = state.StandardTopic = state.CommandTopic = -1;
    controls.SetCaption("lblHelp1", "");
  }
}

void FormModel::Exit(const std::string& name) {
  if (view_->HandlesControl(name)) {
    view_->Exit(name);
  } else if (name == "btnF1Help") {
    HelpButtonExit();
  } else if (name == "btnF10Exit") {
    controls.SetCaption("lblHelp1", "");
  }
}

bool FormModel::KeyPress(const std::string& name, char ch) {
  if (view_->HandlesControl(name)) return view_->KeyPress(name, ch);
  return true;
}

void FormModel::MouseDown(const std::string& name, bool leftButton) {
  if (view_->HandlesControl(name)) view_->MouseDown(name, leftButton);
}

bool FormModel::IsUsable(const std::string& name) const {
  const Control* c = controls.Find(name);
  if (!c) return false;
  if (c->kind == Kind::MenuItem) {
    // Hidden menu items keep their shortcuts; a disabled item or menu does not run.
    for (const Control* p = c; p; p = p->parent.empty() ? nullptr : controls.Find(p->parent))
      if (!p->enabled) return false;
    return true;
  }
  return controls.Usable(name);
}

void FormModel::Click(const std::string& name) {
  Control* c = controls.Find(name);
  if (!c || !IsUsable(name)) return;
  if (c->kind == Kind::CheckBox) c->checked = !c->checked;

  if (StartsWith(name, "UseCOM")) {
    int n = std::atoi(name.c_str() + 6);
    if (n >= 1 && n <= 256 && name == "UseCOM" + std::to_string(n)) ChoosePort(n);
    return;
  }
  if (StartsWith(name, "btnSet") && name.size() == 7) {
    OpenEditor(name[6] - '0');
    return;
  }
  if (view_->HandlesControl(name)) {
    view_->Click(name);
    return;
  }
  RunCommand(name);
}

bool FormModel::Shortcut(const std::string& keys) {
  for (const std::string& name : controls.Order()) {
    const Control& c = controls[name];
    if (c.kind == Kind::MenuItem && c.shortcut == keys) {
      Click(name);
      return true;
    }
  }
  return false;
}

void FormModel::TimerTick(const std::string& name) {
  Control& t = controls[name];
  if (!t.running) return;
  if (name == "tmrTime") {
    help_->tmrTimeTimer();
  } else if (name == "tmrTime1") {
    controls.SetCaption("lblVersion", "");
    t.running = false;
  } else if (name == "Retry_Timer") {
    RetryTimerFired();
  }
}

// ---- Commands ------------------------------------------------------------------------------

void FormModel::RunCommand(const std::string& name) {
  switch (CommandOf(name)) {
  case Command::None:
    return;
  case Command::Read:
    if (!view_->ValidatePendingField()) return;
    [[fallthrough]];
  case Command::ReadDirect:
    RunRead();
    return;
  case Command::Program:
    if (!view_->ValidatePendingField()) return;
    RunProgram();
    return;
  case Command::ProgramButton:
    if (!view_->ValidatePendingField()) return;
    RunProgram();
    ClearActivePageTopic();
    state.CommandTopic = 2;
    return;
  case Command::Save:
    if (!view_->ValidatePendingField()) return;
    RunSave();
    return;
  case Command::SaveButton:
    if (!view_->ValidatePendingField()) return;
    RunSave();
    ClearActivePageTopic();
    state.CommandTopic = 3;
    return;
  case Command::Load:
    if (!view_->ValidatePendingField()) return;
    [[fallthrough]];
  case Command::LoadDirect:
    RunLoad();
    return;
  case Command::Exit:
    shell_.CloseMainWindow();
    return;
  case Command::Help:
    HelpKey();
    return;
  case Command::HelpButton:
    HelpButtonClick();
    return;
  case Command::AddressPage:
    ShowPage(0);
    return;
  case Command::StandardPage:
    ShowPage(1);
    return;
  case Command::PageUp:
    ShowPage(state.ActivePage == 0 ? 1 : state.ActivePage - 1);
    return;
  case Command::PageDown:
    ShowPage(state.ActivePage == 1 ? 0 : state.ActivePage + 1);
    return;
  case Command::About:
    host_.Show(Message{"Pagewright-Corvane-FLEX-R010209\nProgramming software for RV615 FLEX "
                       "pagers.\nConnect the pager through its hard-contact interface.",
                       "About", Icon::Information});
    return;
  case Command::SerialDevice:
    ChooseSerialDevice();
    return;
  case Command::Version:
    controls.SetCaption("lblVersion", "R" + codeplug.StampText());
    controls["tmrTime1"].interval = 2000;
    controls["tmrTime1"].running = true;
    return;
  case Command::OpenLog:
    OpenProgrammingLog();
    return;
  case Command::PagerHistory:
    history_ = std::make_unique<PagerHistoryModel>(LedgerRecorder() ? &recorder_->Primary()
                                                                     : nullptr);
    shell_.ShowPagerHistory(*history_);
    history_.reset();
    return;
  case Command::BenchName:
    ChooseBenchName();
    return;
  case Command::CapcodePools:
    ChooseCapcodePools();
    return;
  case Command::Option:
    ToggleOption(name);
    return;
  case Command::OpenFolder:
    OpenDataFolder(name == "OpenBackupsFolder1" ? "backups" : "traces");
    return;
  }
}

// The folder is made when it does not exist yet, so the file manager always has one to show.
void FormModel::OpenDataFolder(const std::string& name) {
  const std::filesystem::path data = UserDataDirectory();
  const std::u8string text = (data / name).u8string();
  const std::string shown(text.begin(), text.end());
  std::string error;
  if (data.empty())
    host_.Show(Plain("No folder for the user's data is known."));
  else if (!EnsureDirectory(data / name, &error))
    host_.Show(Plain("Cannot create the folder " + shown + "\n" + error));
  else if (!shell_.OpenWithDefaultApplication(shown))
    host_.Show(Plain("Cannot open the folder\n" + shown));
}

void FormModel::OpenProgrammingLog() {
  const std::filesystem::path& path = log_.Path();
  const std::u8string name = path.u8string();
  const std::string shown(name.begin(), name.end());
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec))
    host_.Show(Plain("No programming log yet: it begins with the first Program.\n" + shown));
  else if (!shell_.OpenWithDefaultApplication(shown))
    host_.Show(Plain("Cannot open the programming log\n" + shown));
}

void FormModel::ShowPage(int page) {
  state.ActivePage = page;
  controls["PCAll"].itemIndex = page;
  view_->RefreshActivePage();
}

void FormModel::PageChanged(int page) { ShowPage(page); }

void FormModel::ClearActivePageTopic() {
  if (state.ActivePage == 0) state.AddressTopic = -1;
  else state.StandardTopic = -1;
}

void FormModel::EnterBusyState() {
  saveWasEnabled_ = controls["btnF7SaveAs"].enabled;
  for (std::string_view name : kBusyControls) controls.SetEnabled(name, false);
  // The window is disabled before the repaint, so that no click queued meanwhile (a Set
  // button opening the editor, say) runs inside the transaction.
  controls.SetEnabled("TFormUI", false);
  host_.PumpMessages();
}

void FormModel::LeaveBusyState() {
  controls.SetEnabled("TFormUI", true);
  if (controls["btnF7SaveAs"].enabled || saveWasEnabled_)
    for (std::string_view name : {"ToolButton2", "ToolButton4", "btnF4Program", "btnF7SaveAs"})
      controls.SetEnabled(name, true);
  for (std::string_view name : kAlwaysRestored) controls.SetEnabled(name, true);
  saveWasEnabled_ = true;
}

void FormModel::EnableSaveAndProgram() {
  if (!controls["Save1"].enabled)
    for (std::string_view name : kSaveProgramControls) controls.SetEnabled(name, true);
}

void FormModel::RunRead() {
  const FineTimerScope fineTimer; // the link's pauses last what they say while it runs
  EnterBusyState();
  if (port_) {
    TransactionContext ctx{codeplug, *link_, *port_, host_, clock_};
    lastOutcome_ = ReadPager(ctx);
  } else {
    host_.ShowBox("Reading Fail", "Error", Icon::Error);
    lastOutcome_ = TransactionOutcome{Ending::LinkFailure, TransactionStep::FirmwareVersion,
                                      kLinkFailure};
  }
  const bool ok = lastOutcome_.Ok();
  if (ok) {
    view_->RefreshActivePage();
    EnableSaveAndProgram();
    view_->RefreshActivePage();
  }
  host_.SetProgress(0);
  LeaveBusyState();
}

void FormModel::RunProgram() {
  const FineTimerScope fineTimer;
  for (std::string_view name : kBusyControls) controls.SetEnabled(name, false);
  controls.SetEnabled("TFormUI", false);
  host_.PumpMessages();
  // The Program puts the pager's own serial number into the image, for that pager alone. The
  // codeplug takes its own back afterwards: the next pager never receives this one's, a file
  // saved after the Program keeps the codeplug's, and the next Program checks the serial
  // number that passed this time, not one a pager brought along (lower-case letters, say).
  std::array<std::uint8_t, map::kSerialNumberLength> ownSerial{};
  const auto serialAt = codeplug.WorkingImage.begin() + map::kSerialNumber;
  std::copy_n(serialAt, ownSerial.size(), ownSerial.begin());
  // Capcodes from pools are reserved for the pager on the line before anything else.
  UnitAssignment poolUnit;
  std::string polledSerial;
  std::unique_ptr<PoolSource> pools;
  if (PoolsChosen()) {
    pools = TakeFromPools(poolUnit, polledSerial);
    if (!pools) {
      controls.SetEnabled("TFormUI", true);
      for (std::string_view name : kBusyControls) controls.SetEnabled(name, true);
      return;
    }
  }
  std::string poolTrouble;
  const bool stepping = !pools && controls.Checked("chkAutoIncrementorDecrement");
  // The log's line is written when the transaction ends, before its box waits for the user;
  // the capcodes the stepping will give are known by then. So are the pools' capcodes settled.
  auto ended = [&](const TransactionOutcome& outcome) {
    lastOutcome_ = outcome;
    std::optional<std::array<std::string, map::kCodeCount>> next;
    if (outcome.Ok() && stepping)
      next = view_->PreviewAutoStep();
    LogProgram(next);
    if (pools)
      poolTrouble = FinishFromPools(*pools, poolUnit, polledSerial);
  };
  BeginLedgerRecord();
  if (port_) {
    TransactionContext ctx{codeplug, *link_, *port_, host_, clock_};
    lastOutcome_ =
        ProgramPager(ctx, ProgramOptions{verify_, backupDirectory_, stopRequested_, ended});
  } else {
    lastOutcome_ = TransactionOutcome{Ending::LinkFailure, TransactionStep::FirmwareVersion,
                                      kLinkFailure};
    ended(lastOutcome_);
    host_.ShowBox("Programming Fail", "Error", Icon::Error);
  }
  std::copy(ownSerial.begin(), ownSerial.end(), serialAt);
  if (!poolTrouble.empty())
    host_.Show(Message{poolTrouble, "Warning", Icon::Warning});
  const bool ok = lastOutcome_.Ok();
  lastStepOk_ = true;
  if (ok && stepping)
    lastStepOk_ = view_->AutoStepCodes();
  host_.SetProgress(0);
  controls.SetEnabled("TFormUI", true);
  for (std::string_view name : kBusyControls) controls.SetEnabled(name, true);
}

// Where a Program writes, as the log and the ledger give it: the port and the device opened,
// or the device the command line named.
void FormModel::DescribeWhere(ProgrammingRecord& record) const {
  if (logDevice_.empty()) {
    record.port = std::to_string(portNumber_);
    record.device = openedDevice_;
  } else {
    record.device = logDevice_;
  }
}

// One line in the programming log for every Program, whatever its end. A log that cannot be
// written is told once and never stops the programming.
void FormModel::LogProgram(
    const std::optional<std::array<std::string, map::kCodeCount>>& capcodesAfterStepping) {
  ProgrammingRecord record;
  record.programVersion = ProgramVersion();
  DescribeWhere(record);
  const TransactionOutcome& o = lastOutcome_;
  record.serialNumber =
      SerialNumberForLog(o.serialNumber.empty() ? logSerialNumber_ : o.serialNumber);
  record.firmwareVersion = FirmwareDigitsForLog(o.firmwareText);
  record.source = logSource_;
  // Nothing written: the columns show the codeplug the Program was to write.
  DescribeWrittenImage(record, o.image ? *o.image : codeplug.WorkingImage);
  if (!o.image) record.imageSha256.clear();
  record.outcome = o.Ok() ? std::string(kLogSuccess) : DescribeOutcome(o);
  if (capcodesAfterStepping)
    record.capcodesAfterStepping = *capcodesAfterStepping;
  else if (o.Ok())
    record.capcodesAfterStepping = logSteppedCapcodes_;
  record.time = LogTimestamp(std::time(nullptr));
  if (recorder_) {
    attempt_.record = record;
    attempt_.eepromSha256 = o.eepromSha256;
    attempt_.state = std::string(o.Ok()                               ? ledger::kSuccess
                                   : o.ending == Ending::Interrupted ? ledger::kInterrupted
                                                                    : ledger::kFailed);
    const std::string warning = recorder_->Complete(attempt_);
    if (!warning.empty() && lastLedgerWarning_.empty()) lastLedgerWarning_ = warning;
  }
  lastLogWrite_ = log_.Append(std::move(record));
  if (lastLogWrite_.report)
    host_.Show(Message{lastLogWrite_.message, "Warning", Icon::Warning});
  // Told only now: the pager was never kept waiting for the ledger.
  if (!lastLedgerWarning_.empty())
    host_.Show(Message{lastLedgerWarning_, "Warning", Icon::Warning});
}

// The attempt goes on record before the pager is touched, with what is known so far: the
// codeplug that is to be written and where.
void FormModel::BeginLedgerRecord() {
  lastLedgerWarning_ = std::move(pendingLedgerWarning_);
  pendingLedgerWarning_.clear();
  if (!LedgerRecorder()) return;
  attempt_ = ledger::Attempt{};
  attempt_.kind = ledgerKind_;
  ProgrammingRecord& record = attempt_.record;
  record.time = LogTimestamp(std::time(nullptr));
  record.programVersion = ProgramVersion();
  DescribeWhere(record);
  record.source = logSource_;
  record.written = CodeplugColumnsOf(codeplug.WorkingImage);
  const std::string warning = recorder_->Begin(attempt_);
  if (!warning.empty() && lastLedgerWarning_.empty()) lastLedgerWarning_ = warning;
}

// The window's ledger is the one its settings name (ledger=, else PAGEWRIGHT_LEDGER, else the
// user's SQLite file), opened at the first Program. One that cannot be opened is told once,
// and the user's own SQLite file keeps the records meanwhile.
ledger::Recorder* FormModel::LedgerRecorder() {
  if (recorder_ || ledgerTried_ || userSettingsPath_.empty()) return recorder_.get();
  ledgerTried_ = true;
  const UserSettings settings = UserSettings::Load(userSettingsPath_);
  const std::string url = ledger::ChosenLedgerUrl({}, settings.Get("ledger").value_or(""));
  const std::string bench = ledger::ChosenBench({}, settings.Get("bench").value_or(""));
  ledger::Ledger::Opened opened = ledger::Ledger::Open(url);
  if (!opened.ledger) {
    pendingLedgerWarning_ = opened.message;
    if (!url.empty()) opened = ledger::Ledger::Open({});
    ledgerIsFallback_ = true;
  }
  if (opened.ledger)
    recorder_ = std::make_shared<ledger::Recorder>(std::move(opened.ledger), bench);
  return recorder_.get();
}

void FormModel::SetPoolChoice(const std::array<std::string, map::kCodeCount>& pools,
                              bool reassign) {
  poolChoice_ = pools;
  poolReassign_ = reassign;
}

bool FormModel::PoolsChosen() const {
  return std::any_of(poolChoice_.begin(), poolChoice_.end(),
                     [](const std::string& pool) { return !pool.empty(); });
}

std::unique_ptr<PoolSource> FormModel::TakeFromPools(UnitAssignment& unit, std::string& serial) {
  auto refuse = [&](const std::string& why) {
    lastOutcome_ = TransactionOutcome{Ending::Refused, TransactionStep::None};
    lastOutcome_.detail = why;
    host_.Show(Message{"Capcode pools: " + why + ". Nothing was programmed.", "Error",
                       Icon::Error});
    return std::unique_ptr<PoolSource>();
  };
  ledger::Recorder* recorder = LedgerRecorder();
  if (!recorder || ledgerIsFallback_) {
    const std::string why = pendingLedgerWarning_.empty() ? lastLedgerWarning_
                                                          : pendingLedgerWarning_;
    return refuse(why.empty() ? "the ledger cannot be opened" : why);
  }
  if (!port_) return refuse("no serial port is open");
  auto source = std::make_unique<PoolSource>(recorder->Primary(), recorder->Bench(),
                                             poolChoice_, poolReassign_);
  const CodeplugColumns columns = CodeplugColumnsOf(codeplug.WorkingImage);
  std::array<std::int64_t, map::kCodeCount> others{};
  for (std::size_t k = 0; k < others.size(); ++k)
    if (columns.enabled[k] && poolChoice_[k].empty())
      others[k] = ParseCapcodeText(columns.capcodes[k]);
  source->SetOtherCapcodes(others);
  TransactionContext ctx{codeplug, *link_, *port_, host_, clock_};
  steps::ReopenPort(ctx);
  const std::optional<std::string> onLine = ReadSerialOnLine(*port_, *link_);
  if (!onLine) return refuse("no pager answers on the line");
  serial = *onLine;
  std::string why;
  if (source->Take(serial, unit, why) != UnitSource::Answer::Unit) return refuse(why);
  // The capcodes are typed in as into the edits, which the busy window holds disabled.
  controls.SetEnabled("TFormUI", true);
  const std::string refused = ApplyUnit(*this, unit);
  controls.SetEnabled("TFormUI", false);
  if (!refused.empty()) {
    BatchPagerResult untouched;
    source->Finish(unit, untouched, why);
    return refuse(refused);
  }
  return source;
}

std::string FormModel::FinishFromPools(PoolSource& pools, const UnitAssignment& unit,
                                       const std::string& serial) {
  BatchPagerResult result;
  result.ok = lastOutcome_.Ok();
  result.written = !lastOutcome_.written.empty();
  result.serialNumber = lastOutcome_.serialNumber.empty() ? serial : lastOutcome_.serialNumber;
  result.attemptId = attempt_.id;
  std::string why;
  pools.Finish(unit, result, why);
  return why;
}

void FormModel::ChooseBenchName() {
  UserSettings settings = UserSettings::Load(userSettingsPath_);
  const std::string current = ledger::ChosenBench({}, settings.Get("bench").value_or(""));
  const std::optional<std::string> chosen =
      shell_.AskText("Bench Name", "The name this bench's records carry in the ledger:", current);
  if (!chosen) return;
  std::string name = *chosen;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  if (name.empty()) settings.Remove("bench");
  else settings.Set("bench", name);
  if (!userSettingsPath_.empty()) settings.Save();
  if (recorder_) recorder_->SetBench(ledger::ChosenBench({}, name));
}

} // namespace pw::ui

namespace pw::ui {

void FormModel::OpenEditor(int set) {
  editor_->Open(set);
  shell_.ShowEditor(set);
  editor_->Close();
}

void FormModel::HelpKey() { help_->Help2Click(); }
void FormModel::HelpButtonEnter() { help_->btnF1HelpEnter(); }
void FormModel::HelpButtonClick() { help_->btnF1HelpClick(); }
void FormModel::HelpButtonExit() { help_->btnF1HelpExit(); }
void FormModel::RetryTimerFired() { retry_->Retry_TimerTimer(); }

} // namespace pw::ui
