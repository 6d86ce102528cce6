// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_controls.h"

#include <utility>
#include <vector>

namespace pw::ui {

const char* const kApplicationTitle = "Pagewright-RV615";
const char* const kMainCaption = "Pagewright-Corvane-FLEX-R010209-2015/03/23 (Customer Version)";

const std::array<CodeRowNames, 6>& CodeRows() {
  static const std::array<CodeRowNames, 6> rows = [] {
    std::array<CodeRowNames, 6> r;
    const char* enables[6] = {"chkCapCode1", "chkSecondAddress", "chkCapCode3",
                              "chkCapCode4", "chkCapCode5",      "chkCapCode6"};
    for (int i = 0; i < 6; ++i) {
      std::string n = std::to_string(i + 1);
      std::string letter(1, static_cast<char>('A' + i));
      r[i] = {enables[i],      "edtCode" + letter, "chkDefaultAlert" + n, "chkVIB" + n,
              "chkBEEP" + n,   "chkVoice" + n,     "chkLED" + n,          "edtTime" + n,
              "edtCadence" + n, "edtRepeatcount" + n, "lblAlerttime" + n, "btnSet" + n,
              "edtIncDec" + n};
    }
    return r;
  }();
  return rows;
}

namespace {

class Builder {
public:
  explicit Builder(Controls& c) : c_(c) {}

  Control& Add(Kind kind, std::string name, std::string parent, std::string caption = {}) {
    Control c;
    c.kind = kind;
    c.name = std::move(name);
    c.parent = std::move(parent);
    c.caption = std::move(caption);
    return c_.Add(std::move(c));
  }
  Control& Edit(std::string name, std::string parent, int maxLength, std::string text = {}) {
    Control& c = Add(Kind::Edit, std::move(name), std::move(parent));
    c.maxLength = maxLength;
    c.text = std::move(text);
    return c;
  }
  Control& Check(std::string name, std::string parent, std::string caption) {
    return Add(Kind::CheckBox, std::move(name), std::move(parent), std::move(caption));
  }
  Control& Label(std::string name, std::string parent, std::string caption) {
    return Add(Kind::Label, std::move(name), std::move(parent), std::move(caption));
  }
  Control& Group(std::string name, std::string parent, std::string caption) {
    return Add(Kind::Group, std::move(name), std::move(parent), std::move(caption));
  }
  Control& Radio(std::string name, std::string parent, std::string caption,
                 std::vector<std::string> items, int index = 0) {
    Control& c = Add(Kind::RadioGroup, std::move(name), std::move(parent), std::move(caption));
    c.items = std::move(items);
    c.itemIndex = index;
    return c;
  }
  Control& Menu(std::string name, std::string parent, std::string caption, bool visible = true) {
    Control& c = Add(Kind::Menu, std::move(name), std::move(parent), std::move(caption));
    c.visible = visible;
    return c;
  }
  Control& Item(std::string name, std::string parent, std::string caption,
                std::string shortcut = {}, bool visible = true) {
    Control& c = Add(Kind::MenuItem, std::move(name), std::move(parent), std::move(caption));
    c.shortcut = std::move(shortcut);
    c.visible = visible;
    return c;
  }
  Control& Separator(std::string name, std::string parent, bool visible = true) {
    Control& c = Add(Kind::Separator, std::move(name), std::move(parent));
    c.visible = visible;
    return c;
  }

private:
  Controls& c_;
};

void BuildMenus(Builder& b) {
  const std::string form = "TFormUI";
  b.Add(Kind::Menu, "MainMenu1", form);

  b.Menu("File1", "MainMenu1", "&File");
  b.Item("Open1", "File1", "&Load Codeplug ", "F8");
  b.Separator("N1", "File1");
  b.Item("Save1", "File1", "&Save Codeplug ", "F7");
  b.Separator("N2", "File1");
  b.Menu("Setup1", "File1", "&Setup");
  // Which device the current COM number opens; the device names are Linux's.
#ifdef _WIN32
  constexpr bool kDeviceChoice = false;
#else
  constexpr bool kDeviceChoice = true;
#endif
  b.Item("SerialDevice1", "Setup1", "Serial &Device\u2026", {}, kDeviceChoice).utf8 = true;
  // Which ledger pool gives each code its capcode at a Program.
  b.Item("CapcodePools1", "Setup1", "Capcode &Pools...");
  b.Separator("N11", "Setup1");
  for (int n = 1; n <= 256; ++n) {
    Control& item = b.Item("UseCOM" + std::to_string(n), "Setup1", "Use COM " + std::to_string(n),
                           n <= 9 ? "Ctrl+" + std::to_string(n) : std::string());
    item.checked = n == 1;
  }
  b.Separator("N3", "File1");
  b.Item("OpenProgrammingLog1", "File1", "&Open Programming Log");
  b.Item("PagerHistory1", "File1", "Pager &History...");
  b.Item("BenchName1", "File1", "&Bench Name...");
  b.Separator("N9", "File1");
  b.Item("About1", "File1", "&About");
  b.Separator("N4", "File1");
  b.Item("Exit1", "File1", "E&xit", "F10");
  b.Separator("N5", "File1", false);
  b.Item("SaveSUniRWorSUniRR1", "File1", "Save SUniRW or SUniRR", {}, false);
  b.Item("LoadPatchFileHex", "File1", "Load Patch File Hex", {}, false);

  b.Menu("Options1", "MainMenu1", "Options");
  b.Item("FLEXAddressOption", "Options1", "FLEX &Address", "Ctrl+A");
  b.Item("StandardOption", "Options1", "&Standard", "Ctrl+S");
  b.Item("FLEXTerminal1", "Options1", "FLEX(tm) &Terminal", "Ctrl+T", false);
  // Switches remembered in the user's settings; ticked shows on.
  b.Separator("N10", "Options1");
  Control& verify = b.Item("VerifyAfterProgramming1", "Options1", "&Verify after Programming");
  verify.toggle = verify.checked = true;
  b.Item("BackUpBeforeProgramming1", "Options1", "&Back Up Pager before Programming").toggle = true;
  b.Item("SerialTrace1", "Options1", "Serial T&race").toggle = true;
  // Where the backups and the traces are kept, in the desktop's file manager.
  b.Separator("N12", "Options1");
  b.Item("OpenBackupsFolder1", "Options1", "&Open Backups Folder");
  b.Item("OpenTracesFolder1", "Options1", "Open Traces &Folder");

  b.Menu("ReadProgram1", "MainMenu1", "&Read/Program");
  b.Item("Read1", "ReadProgram1", "&Read Pager", "F3");
  b.Separator("N6", "ReadProgram1");
  b.Item("Write1", "ReadProgram1", "&Program Pager", "F4");
  b.Separator("N7", "ReadProgram1", false);
  b.Item("Read_Patch", "ReadProgram1", "Read Patch", {}, false);
  b.Item("Program_Patch", "ReadProgram1", "Program Patch", {}, false);
  b.Separator("N8", "ReadProgram1", false);
  b.Item("Read_Codeplug", "ReadProgram1", "Read Codeplug", {}, false);
  b.Item("Program_Codeplug", "ReadProgram1", "Program Codeplug", {}, false);

  b.Menu("ShortCuts1", "MainMenu1", "ShortCuts", false);
  b.Item("Channel1", "ShortCuts1", "Channel", "/", true);
  b.Menu("Help1", "MainMenu1", "&Help", false);
  b.Item("Help2", "Help1", "&Help", "F1");

  // Service commands: every item is inert.
  b.Menu("Superkey", "MainMenu1", "Super", false);
  b.Item("SUj0key", "Superkey", "SUj0", {}, false);
  b.Item("SUjVkey", "Superkey", "Read FW Version", "Ctrl+Alt+V");
  b.Item("SUniRFmkey", "Superkey", "SUniRF>", "Ctrl+Alt+M");
  b.Item("SUniRFXkey", "Superkey", "SUniRFX", "Ctrl+Alt+X");
  b.Item("SUniRFIkey", "Superkey", "SUniRFI", "Ctrl+Alt+I");
  b.Item("SUjPkey", "Superkey", "SUjP", {}, false);
  b.Item("SUjDkey", "Superkey", "Write Pager Default CP", "Ctrl+Alt+D");
  b.Item("SUniRSTkey", "Superkey", "Pager Reset", "Ctrl+Alt+T");
  b.Menu("SUniRB1", "Superkey", "SUniRB", false);
  b.Item("SUniRBAF06key", "SUniRB1", "SUniRBAF06", "Shift+Ctrl+V");
  b.Item("SUniRB940Akey", "SUniRB1", "SUniRB940A", "Shift+Ctrl+P");
  b.Item("SUniRBkey", "SUniRB1", "SUniRB", "Shift+Ctrl+R");
  b.Item("SUniWBkey", "Superkey", "SUniWB", {}, false);
  b.Menu("SUniRW1", "Superkey", "Read EEP");
  b.Item("SUniRWkey", "SUniRW1", "Read EEP");
  b.Item("SUniRWAF06key", "SUniRW1", "Read CP Version");
  b.Menu("SUniWW1", "Superkey", "Write EEP");
  b.Item("SUniWWkey", "SUniWW1", "Write EEP");
  b.Item("WW0100011FFF1", "SUniWW1", "WW0100_011F_FF", {}, false);
  b.Item("WW0100011FAA1", "SUniWW1", "WW0100_011F_AA", {}, false);
  b.Item("SUniWWkey_cal_checksum", "SUniWW1", "Write EEP Auto cal checksum");
  b.Item("SUniWWonevaluekey", "SUniWW1", "Write EEP one value");
  b.Menu("SUniRR1", "Superkey", "Read RAM");
  b.Item("SUniRRkey", "SUniRR1", "Read RAM");
  b.Menu("SUniWR1", "Superkey", "Write RAM");
  b.Item("SUniWRkey", "SUniWR1", "Write RAM");
  b.Item("NACKkey", "Superkey", "NACK");

  b.Menu("LoadDefault", "MainMenu1", "Load Default", false);
  b.Item("LoadDefault1", "LoadDefault", "Load Default", "Shift+Ctrl+L");
  b.Menu("CodePlugVersion1", "MainMenu1", "CodePlug Version", false);
  b.Item("Version1", "CodePlugVersion1", "Version", "Alt+V");
  b.Menu("PgUpPgDn1", "MainMenu1", "PgUp-PgDn", false);
  b.Item("PageUp1", "PgUpPgDn1", "Page Up", "PgUp");
  b.Item("PageDown1", "PgUpPgDn1", "Page Down", "PgDown");
  b.Menu("password1", "MainMenu1", "password", false);
  b.Item("password2", "password1", "password", "Alt+Y");
}

void BuildToolBar(Builder& b) {
  b.Add(Kind::ToolBar, "ToolBar1", "TFormUI");
  struct Tool {
    const char *name, *caption, *hint;
  };
  static const Tool tools[] = {
      {"ToolButton1", "            Load Codeplug            ", "Load Codeplug(F8)"},
      {"ToolButton2", "Save Codeplug", "Save Codeplug(F7)"},
      {"ToolButton3", "Read Pager", "Read Pager (F3)"},
      {"ToolButton4", "Program Pager", "Program Pager (F4)"},
      {"ToolButton5", "Exit", "Exit (F10)"},
  };
  int i = 0;
  for (const Tool& t : tools) {
    if (i++ > 0) b.Add(Kind::Separator, "ToolSeparator" + std::to_string(i - 1), "ToolBar1");
    b.Add(Kind::ToolButton, t.name, "ToolBar1", t.caption).hint = t.hint;
  }
}

void BuildAddressPage(Builder& b) {
  const std::string page = "TSFLEXAddressOption";
  b.Add(Kind::Page, page, "PCAll", "FLEX Address Option");

  b.Group("gpbFrequency", page, "Frequency (MHz)");
  b.Edit("edtFrequency", "gpbFrequency", 8);
  b.Group("gpbSerialNumber", page, "Serial Number");
  Control& sn = b.Edit("edtSerialNumber", "gpbSerialNumber", 10);
  sn.upperCase = true;
  b.Group("gpbSerialNumberAuto", page, "Serial Number Auto").visible = false;
  b.Edit("edtSerialNumberAuto", "gpbSerialNumberAuto", 10);
  b.Add(Kind::Button, "btnWriteSN", "gpbSerialNumberAuto", "Write SN");
  b.Radio("rgpBandOption", page, "Band Option", {"Wide Band", "Narrow Band"});
  b.Radio("rgpPLLICOption", page, "PLL IC Option",
          {"FS8107 (Old)", "SM5170 (Old)", "FS8108/07 (New 1)", "MB15E03 (New)"}, 1);
  b.Radio("rgpCodingFormatBaudRate", page, "Coding Format / Baud Rate",
          {"FLEX 1600", "FLEX 3200", "FLEX 6400"});
  b.Check("chkLEDFlashforever", page, "LED Flash stay on");

  b.Group("gpbCodes", page, "Codes");
  static const char* headers[][2] = {
      {"lblHdrEnabled", "Enabled"}, {"lblHdrCapCode", "CapCode"},   {"lblHdrDAlert", "D-Alert"},
      {"lblHdrVIB", "VIB"},         {"lblHdrBEEP", "BEEP"},         {"lblHdrVoice", "Voice"},
      {"lblHdrLED", "LED"},         {"lblHdrTime", "Time-5ms"},     {"lblHdrCadence", "Cadence"},
      {"lblHdrRepeat", "Repeat cnt"}, {"lblHdrAlerttime", "Alert time"}, {"lblHdrSet", "Set"},
      {"lblHdrIncDec", "I-D"}};
  for (const auto& h : headers) b.Label(h[0], "gpbCodes", h[1]);
  for (int i = 0; i < 6; ++i) {
    const CodeRowNames& r = CodeRows()[i];
    std::string letter(1, static_cast<char>('A' + i));
    b.Check(r.enable, "gpbCodes", "Code " + letter);
    b.Edit(r.code, "gpbCodes", 9, "0000000");
    b.Check(r.defaultAlert, "gpbCodes", "");
    b.Check(r.vib, "gpbCodes", "");
    b.Check(r.beep, "gpbCodes", "");
    b.Check(r.voice, "gpbCodes", "");
    b.Check(r.led, "gpbCodes", "");
    b.Edit(r.time, "gpbCodes", 2);
    b.Edit(r.cadence, "gpbCodes", 8);
    b.Edit(r.repeat, "gpbCodes", 2);
    b.Label(r.alertTime, "gpbCodes", "");
    b.Add(Kind::Button, r.set, "gpbCodes", "Set");
    b.Edit(r.incDec, "gpbCodes", 1, "0");
  }

  // Frame, phase, battery cycle and type of codes A and B: fixed by the capcode, never shown.
  b.Group("gpbCodeA1", page, "Code A");
  b.Edit("edtCodeA1", "gpbCodeA1", 9).readOnly = true;
  b.Group("gpbFrame1", page, "Frame");
  b.Edit("edtFrame1", "gpbFrame1", 3, "000");
  b.Group("gpbBatteryCycle1", page, "Battery Cycle");
  b.Edit("edtBatteryCycle1", "gpbBatteryCycle1", 1, "0");
  b.Group("gpbCodeB1", page, "Code B");
  b.Edit("edtCodeB1", "gpbCodeB1", 9).readOnly = true;
  b.Group("gpbFrame2", page, "Frame");
  b.Edit("edtFrame2", "gpbFrame2", 3, "000");
  b.Group("gpbBatteryCycle2", page, "Battery Cycle");
  b.Edit("edtBatteryCycle2", "gpbBatteryCycle2", 1, "0");
  b.Radio("rgpPhase", page, "Phase", {"A", "B", "C", "D"}).visible = false;
  b.Radio("rgpType", page, "Type", {"Individual", "Group"});
  b.Label("Label2", page, "Frame");
  b.Label("Label3", page, "Phase");

  b.Group("gpbAutoIncDec", page, "CapCode Auto Increment/Decrement");
  b.Check("chkAutoIncrementorDecrement", "gpbAutoIncDec", "Enabled");
  b.Radio("rgpCapCodeAutoIncrementDecrement", "gpbAutoIncDec", "Increment/Decrement",
          {"CapCode Auto Increment", "CapCode Auto Decrement"});
}

// The VIB, BEEP, Voice and LED boxes of the out-of-range and power-on alerts.
void AlertOutputs(Builder& b, const std::string& group, const std::string& stem) {
  for (const char* output : {"VIB", "BEEP", "Voice", "LED"})
    b.Check("chk" + stem + output, group, output);
}

// Their Time, Cadence and Repeat count boxes with the alert-time read-out.
void AlertPattern(Builder& b, const std::string& group, const std::string& stem) {
  struct Box {
    const char *field, *caption;
    int maxLength;
  };
  for (const Box& box : {Box{"Time", "Time-5ms", 2}, Box{"Cadence", "Cadence", 8},
                         Box{"Repeatcnt", "Repeat cnt", 2}}) {
    b.Label("lbl" + stem + box.field, group, box.caption);
    b.Edit("edt" + stem + box.field, group, box.maxLength);
  }
  b.Label("lbl" + stem + "AlerttimeCaption", group, "Alert time");
  b.Label("lbl" + stem + "Alerttime", group, "");
}

void BuildStandardPage(Builder& b) {
  const std::string page = "TSStandardOption";
  b.Add(Kind::Page, page, "PCAll", "Standard Option");

  b.Group("gpbStandard", page, "Standard");
  b.Check("chkOutofRangeIndicator", "gpbStandard", "Out of Range Indicator");
  b.Check("chkInvertData", "gpbStandard", "Invert Data");
  b.Check("chkMemoryCleanup", "gpbStandard", "Memory Cleanup");
  b.Check("chkBeeponBadData", "gpbStandard", "Beep on Bad Data");
  b.Check("chkCustomDisplay", "gpbStandard", "Custom Display");
  b.Check("chkDownloadPassword", "gpbStandard", "Download Password");
  b.Check("chkPRCCharacterSet", "gpbStandard", "PRC Character Set");
  b.Group("gpbPagerPassword", page, "Pager Password");
  b.Edit("edtPagerPassword", "gpbPagerPassword", 10);
  b.Group("gpbDisplayEntry", page, "Display Entry");
  b.Edit("edtDisplayEntry", "gpbDisplayEntry", 12);

  b.Group("gpbOutofRange", page, "Out of Range");
  b.Label("lblOutofRangeTimer", "gpbOutofRange", "Out of Range Timer");
  b.Edit("edtOutofRangeTimer", "gpbOutofRange", 3);
  b.Label("lblOutofRangeTimerSec", "gpbOutofRange", "Sec.");
  b.Radio("rgpOutofRangeTimer", "gpbOutofRange", "Out of Range Timer",
          {"6 minutes", "10 minutes", "15 minutes"});
  AlertOutputs(b, "gpbOutofRange", "OutofRange");
  AlertPattern(b, "gpbOutofRange", "OutofRange");

  b.Group("gpbPowerOnAlert", page, "Power On Alert");
  AlertOutputs(b, "gpbPowerOnAlert", "PowerAlert");
  b.Check("chkResetkey", "gpbPowerOnAlert", "Reset key");
  AlertPattern(b, "gpbPowerOnAlert", "PowerAlert");

  b.Group("gpbPoweronStandby", page, "Power On Standby");
  b.Group("gpbPowerTime", "gpbPoweronStandby", "Time");
  b.Edit("edtPowerTime", "gpbPowerTime", 3);
  b.Group("gpbPowerCadence", "gpbPoweronStandby", "Cadence");
  b.Edit("edtPowerCadence", "gpbPowerCadence", 8);
  b.Group("gpbPowerLED", "gpbPoweronStandby", "LED");
  b.Check("chkPowerLED", "gpbPowerLED", "LED");
  b.Group("gpbStandbyPowerLED", "gpbPoweronStandby", "Standby Power LED");
  b.Label("lblPowerLEDON", "gpbStandbyPowerLED", "ON-0.1s");
  b.Edit("edtPowerLEDON", "gpbStandbyPowerLED", 2);
  b.Label("lblPowerLEDOFF", "gpbStandbyPowerLED", "OFF-0.1s");
  b.Edit("edtPowerLEDOFF", "gpbStandbyPowerLED", 3);

  b.Group("gpbDisCharging", page, "DisCharging");
  for (const char* n : {"edtUp1", "edtDown1", "edtUp2", "edtDown2"}) b.Edit(n, "gpbDisCharging", 4);
  b.Group("gpbCharging", page, "Charging");
  for (const char* n : {"edtUp3", "edtDown3", "edtUp4", "edtDown4"}) b.Edit(n, "gpbCharging", 4);
  b.Group("gpbChargeroffRecharg", page, "Charger off / ReCharg");
  b.Edit("edtChargeroff", "gpbChargeroffRecharg", 4);
  b.Edit("edtRecharg", "gpbChargeroffRecharg", 4);
  b.Group("gpbLowBattery", page, "Low Battery");
  b.Edit("edtLowBatteryRecovery", "gpbLowBattery", 4);
  b.Edit("edtLowBatteryWarning", "gpbLowBattery", 4);
  b.Group("gpbBEEPFrequency", page, "BEEP Frequency");
  b.Edit("edtBEEPFrequency", "gpbBEEPFrequency", 4);
}

void BuildFoot(Builder& b) {
  const std::string form = "TFormUI";
  b.Label("lblHelp1", form, "");
  b.Add(Kind::Gauge, "CGauge1", form);
  b.Label("lblFirewareVersion", form, "Firmware Version:");
  b.Label("lblFireware_Version", form, "");
  b.Label("lblCodeplugVersion", form, "Codeplug Version:");
  b.Label("lblCodeplug_Version", form, "");
  b.Label("lblPortDevice", form, "").utf8 = true; // "COM1: /dev/ttyUSB0 — FT232R USB UART"
  // The capcode pools a Program takes from, shown only while some are chosen.
  Control& pools = b.Label("lblPools", form, ""); // "Pools: A=Main B=Night"
  pools.utf8 = true;
  pools.visible = false;
  b.Label("lblVersion", form, "");
  b.Label("lblR", form, "R:");
  b.Edit("edtR", form, 6).readOnly = true;
  b.Label("lblN", form, "N:");
  b.Edit("edtN", form, 6).readOnly = true;
  b.Check("chkSpur", form, "Spur");
  static const char* buttons[][2] = {{"btnF1Help", "F1 Help"},   {"btnF3Read", "F3 Read"},
                                     {"btnF4Program", "F4 Program"}, {"btnF7SaveAs", "F7 Save"},
                                     {"btnF8Load", "F8 Load"},   {"btnF10Exit", "F10 Exit"}};
  for (const auto& btn : buttons) b.Add(Kind::Button, btn[0], form, btn[1]);
  for (const char* t : {"tmrTime", "tmrTime1", "Retry_Timer"}) b.Add(Kind::Timer, t, form);
}

} // namespace

void BuildMainControls(Controls& controls) {
  Builder b(controls);
  b.Add(Kind::Form, "TFormUI", "", kMainCaption);
  BuildMenus(b);
  BuildToolBar(b);
  Control& pc = b.Add(Kind::PageControl, "PCAll", "TFormUI");
  pc.itemIndex = 0;
  BuildAddressPage(b);
  BuildStandardPage(b);
  BuildFoot(b);
}

} // namespace pw::ui
