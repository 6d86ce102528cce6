// SPDX-License-Identifier: GPL-3.0-or-later
// The headless main window TFormUI: every control under its name, the command map, the
// settings file and port menu, and the commands Read, Program, Save, Load, Help and Exit.
// The Qt window is a projection of this model: it forwards focus, key and click events by
// control name and re-reads the controls afterwards.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/clock.h"
#include "base/host.h"
#include "batch/pool_source.h"
#include "batch/programming_log.h"
#include "ledger/recorder.h"
#include "codeplug/codeplug.h"
#include "link/link_protocol.h"
#include "link/serial_port.h"
#include "link/serial_trace.h"
#include "transactions/outcome.h"
#include "ui/capcode_pools.h"
#include "ui/controls.h"
#include "ui/dialog_folder.h"
#include "ui/dialogs_model.h"
#include "ui/editor_model.h"
#include "ui/help_texts.h"
#include "ui/pager_history.h"
#include "ui/personality_view.h"
#include "ui/serial_device_dialog.h"
#include "ui/serial_devices.h"
#include "ui/shell.h"
#include "ui/view_state.h"

namespace pw::ui {

// Creates the serial port for port number n (1-256); the failed-open message goes to host.
using PortFactory = std::function<std::unique_ptr<SerialPort>(int n, Host& host)>;
// Creates the serial port for port number n on a device the user chose for it.
using DevicePortFactory =
    std::function<std::unique_ptr<SerialPort>(int n, const std::string& device, Host& host)>;

class FormModel {
public:
  FormModel(Host& host, Shell& shell, Clock& clock, PortFactory ports, std::string programDir);
  ~FormModel();

  // Window life cycle.
  void FormCreate();
  void FormShow();
  void FormClose();

  // Events by control name. Click covers push buttons, tool buttons, menu items (also when
  // reached through their shortcut), check boxes (the model flips checked first) and radio
  // groups / combo boxes (itemIndex set by the caller first).
  void Enter(const std::string& name);
  void Exit(const std::string& name);
  bool KeyPress(const std::string& name, char ch);
  void Click(const std::string& name);
  void MouseDown(const std::string& name, bool leftButton);
  void TimerTick(const std::string& name);
  // A shortcut pressed anywhere in the window: runs the menu item that owns it, hidden or not.
  bool Shortcut(const std::string& keys);

  Controls controls;
  Codeplug codeplug;
  ViewState state;

  Host& host() { return host_; }
  SerialPort* port() { return port_.get(); }
  int PortNumber() const { return portNumber_; }
  int VisiblePortCount() const { return visiblePortCount_; }
  const std::string& SettingsPath() const { return settingsPath_; }
  PersonalityView& view() { return *view_; }
  Link& link() { return *link_; }
  EditorModel& editor() { return *editor_; }
  PasswordDialogModel& password() { return password_; }
  RetryDialogModel& retry() { return *retry_; }
  // Opens port n without touching the settings file (the command line names its port).
  void UsePort(int n);
  // The program's own settings file: the device chosen for each COM number, the folder of the
  // file dialogs and the Options menu's switches. Without it they last for the session only
  // (the command line: its options come from its own flags). Called before FormCreate.
  void UseUserSettings(const std::filesystem::path& path);
  // Where the COM numbers' devices come from, and how a chosen device is opened.
  void UseSerialDevices(std::unique_ptr<SerialDevices> devices);
  void SetDevicePortFactory(DevicePortFactory factory) { devicePorts_ = std::move(factory); }
  SerialDevices& devices() { return *devices_; }
  SerialDeviceDialogModel& deviceDialog() { return *deviceDialog_; }
  // The user picked another page tab.
  void PageChanged(int page);
  // Whether the last Read or Program succeeded (for the command line).
  bool LastTransactionOk() const { return lastOutcome_.Ok(); }
  // What the last Read or Program did, step by step (for the command line and the logs).
  const TransactionOutcome& LastOutcome() const { return lastOutcome_; }

  // The Options menu's choices. The window takes them from the user's settings file when it
  // is shown and keeps them there; the command line sets them for its run only.
  // Read every written block back before the pager is reset (on unless switched off).
  void SetVerifyAfterProgram(bool on);
  bool VerifyAfterProgram() const { return verify_; }
  // Save the pager's EEPROM into this folder before each Program; empty: no backup.
  void SetBackupDirectory(std::filesystem::path folder);
  const std::filesystem::path& BackupDirectory() const { return backupDirectory_; }
  // Record every byte on the line into file (appended to), through this and every later
  // port, until StopTrace; false with the reason in error when the file cannot be written.
  bool TraceTo(const std::filesystem::path& file, std::string* error = nullptr);
  void StopTrace();
  const SerialTrace* Trace() const { return trace_.get(); }
  // Whether the automatic step after the last Program moved the codes (true when it was off).
  bool LastStepOk() const { return lastStepOk_; }
  // The programming log every Program appends a line to: the user's own log unless set.
  void SetProgrammingLog(std::filesystem::path path) { log_ = ProgrammingLog(std::move(path)); }
  const ProgrammingLog& Log() const { return log_; }
  // What the log's lines give as the codeplug's source (kLogSourceWindow unless set; the
  // command line names its data file) and as the device (unless set, the port number's).
  void SetLogSource(std::string source) { logSource_ = std::move(source); }
  void SetLogDevice(std::string device) { logDevice_ = std::move(device); }
  // The device the current COM number opened: its own, the one chosen in the Serial Device
  // dialog, or the one PAGEWRIGHT_COM<n> names.
  const std::string& OpenedDevice() const { return openedDevice_; }
  void SetOpenedDevice(std::string device) { openedDevice_ = std::move(device); }
  // The serial number (raw) the log gives a Program that fails before reading the pager's own:
  // the one a batch's poll read. Empty: none.
  void SetLogSerialNumber(std::string raw) { logSerialNumber_ = std::move(raw); }
  // The capcodes the log gives as "after stepping" for a Program that succeeds without the
  // window's own step (a batch steps them for all its lines). Empty: none.
  void SetLogSteppedCapcodes(const std::array<std::string, map::kCodeCount>& capcodes) {
    logSteppedCapcodes_ = capcodes;
  }
  // How the last Program's line went into the log; a failure is shown once per log.
  const LogWrite& LastLogWrite() const { return lastLogWrite_; }
  // Asked between the blocks of a Program: true stops it there, as interrupted (the command
  // line's answer to a signal).
  void SetStopRequest(std::function<bool()> stop) { stopRequested_ = std::move(stop); }
  // The ledger each Program's attempt goes to beside the log, started before the pager is
  // touched and completed with the log's line. The window opens the one its settings name
  // (ledger=, bench=) at its first Program; the command line sets its own.
  void SetLedger(std::shared_ptr<ledger::Recorder> recorder) { recorder_ = std::move(recorder); }
  ledger::Recorder* LedgerRecorder();
  // What kind of attempt a Program is on record as (ledger::kKindProgram unless set).
  void SetLedgerKind(std::string_view kind) { ledgerKind_ = kind; }
  // What the last Program's ledger entries had to tell the user; empty when all went well.
  const std::string& LastLedgerWarning() const { return lastLedgerWarning_; }
  // Codes whose capcodes come from the ledger's pools at each Program (A-F; "" none) instead
  // of the edits; reassign: new ones even for a pager that has some from these pools. While
  // a pool is chosen the capcodes are not stepped after a Program.
  void SetPoolChoice(const std::array<std::string, map::kCodeCount>& pools, bool reassign);
  const std::array<std::string, map::kCodeCount>& PoolChoice() const { return poolChoice_; }
  bool PoolReassign() const { return poolReassign_; }
  bool PoolsChosen() const;
  // The ledger's record of the last Program; empty when it had no ledger.
  const std::string& LastAttemptId() const { return attempt_.id; }
  // Load and save through the data-file rules with the given path instead of a dialog.
  bool LoadFile(const std::string& path);
  bool SaveFile(const std::string& path);
  // The same with the file's text instead of its path: the text is loaded, or the text that
  // would be saved is returned (nothing when the save refuses, with the messages shown).
  bool LoadText(const std::string& text);
  std::optional<std::string> SaveText();

private:
  bool IsUsable(const std::string& name) const;
  void RunCommand(const std::string& name);
  void OpenPort(int n);
  void ChoosePort(int n);
  void ChooseSerialDevice();
  void ShowPage(int page);
  void ClearActivePageTopic();
  void EnterBusyState();
  void LeaveBusyState();
  void EnableSaveAndProgram();
  void RunRead();
  void RunProgram();
  // capcodesAfterStepping: what the stepping after a successful Program gives the codes.
  void LogProgram(
      const std::optional<std::array<std::string, map::kCodeCount>>& capcodesAfterStepping = {});
  void BeginLedgerRecord();
  // Before a Program from pools: the pager's serial number read, its capcodes reserved and set
  // into the codes. Null (the user told why) when the Program is not to run.
  std::unique_ptr<PoolSource> TakeFromPools(UnitAssignment& unit, std::string& serial);
  // After it: the capcodes used, given back or held as suspect; what went wrong, or "".
  std::string FinishFromPools(PoolSource& pools, const UnitAssignment& unit,
                              const std::string& serial);
  void DescribeWhere(ProgrammingRecord& record) const;
  void ChooseBenchName();
  // Capcode pools (form_pools.cpp): the dialog, the choice kept in the user's settings, and
  // the foot's note while pools are chosen.
  void ChooseCapcodePools();
  void RestorePoolChoice();
  void ApplyPoolSelection(const PoolSelection& selection);
  ledger::Ledger* PoolLedger(const UserSettings& settings, std::unique_ptr<ledger::Ledger>& own,
                             std::string& why);
  void RunSave();
  void RunLoad();
  void OpenProgrammingLog();
  void OpenDataFolder(const std::string& name); // "backups" or "traces" of the user's data
  void OpenEditor(int set);
  void HelpKey();
  void HelpButtonEnter();
  void HelpButtonClick();
  void HelpButtonExit();
  void RetryTimerFired();
  void LoadUserOptions();
  void ToggleOption(const std::string& item);
  void StartSessionTrace();
  void WrapPortForTrace();
  void SyncOptionItems();

  Host& host_;
  Shell& shell_;
  Clock& clock_;
  PortFactory ports_;
  DevicePortFactory devicePorts_;
  std::string programDir_;
  std::string settingsPath_;
  std::unique_ptr<SerialPort> port_;
  std::unique_ptr<PersonalityView> view_;
  int portNumber_ = 1;
  int visiblePortCount_ = 16;
  std::unique_ptr<Link> link_;
  std::unique_ptr<HelpController> help_;
  std::unique_ptr<EditorModel> editor_;
  PasswordDialogModel password_;
  std::unique_ptr<RetryDialogModel> retry_;
  std::unique_ptr<SerialDevices> devices_;
  std::unique_ptr<SerialDeviceDialogModel> deviceDialog_;
  std::unique_ptr<DialogFolder> dialogFolder_;
  bool saveWasEnabled_ = true;
  TransactionOutcome lastOutcome_{Ending::Refused};
  bool lastStepOk_ = true;
  std::function<bool()> stopRequested_;
  bool verify_ = true;
  std::filesystem::path backupDirectory_;
  std::shared_ptr<SerialTrace> trace_;
  std::filesystem::path userSettingsPath_;
  ProgrammingLog log_;
  std::string logSource_{kLogSourceWindow};
  std::string logDevice_;
  std::string openedDevice_; // the device the current port was opened on
  std::string logSerialNumber_;
  std::array<std::string, map::kCodeCount> logSteppedCapcodes_{};
  LogWrite lastLogWrite_;
  std::shared_ptr<ledger::Recorder> recorder_;
  bool ledgerTried_ = false; // the window opened its settings' ledger (or failed to)
  std::string ledgerKind_{ledger::kKindProgram};
  ledger::Attempt attempt_;
  std::string lastLedgerWarning_;
  std::string pendingLedgerWarning_;
  std::unique_ptr<PagerHistoryModel> history_;
  std::array<std::string, map::kCodeCount> poolChoice_{};
  bool poolReassign_ = false;
  bool ledgerIsFallback_ = false; // the settings' ledger failed: the user's own file stands in
};

} // namespace pw::ui
