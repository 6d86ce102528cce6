// SPDX-License-Identifier: GPL-3.0-or-later
// Geometry of every control of the main window, relative to its parent: the tool bar, the
// two pages and their group boxes, and the foot with help line, gauge, versions and the
// function-key buttons. Hidden controls get a place too; hidden groups may overlap others.
#include <QApplication>
#include <QStyle>

#include <map>
#include <string>

#include "ui/forms/Ui.h"
#include "ui/main_controls.h"

namespace pw::ui {

namespace {

constexpr int kEditHeight = 21;
constexpr int kCheckHeight = 20;
constexpr int kLabelHeight = 16;
constexpr int kCheckIndicator = 16; // a check box without caption: just its indicator

struct Spot {
  const char* name;
  int x, y, w, h;
};

using Table = std::map<std::string, Placement>;

void Put(Table& t, const std::string& name, int x, int y, int w, int h, Qt::Alignment align = {},
         int columns = 1) {
  Placement p;
  p.rect = QRect(x, y, w, h);
  p.alignment = align;
  p.columns = columns;
  t[name] = p;
}

void PutAll(Table& t, std::initializer_list<Spot> spots) {
  for (const Spot& s : spots)
    Put(t, s.name, s.x, s.y, s.w, s.h);
}

// The window outside the pages: page control, help line, gauge, versions, function keys.
void Foot(Table& t) {
  Put(t, "PCAll", 4, 4, 783, 414);
  Put(t, "lblHelp1", 8, 422, 775, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  Put(t, "CGauge1", 4, 442, 783, 18);
  // The codeplug version leads: the firmware version labels are kept hidden.
  Put(t, "lblCodeplugVersion", 8, 466, 100, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  Put(t, "lblCodeplug_Version", 110, 466, 110, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  Put(t, "lblFirewareVersion", 232, 466, 100, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  Put(t, "lblFireware_Version", 334, 466, 110, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  // The capcode pools in use, where the firmware version would be.
  Put(t, "lblPools", 232, 466, 216, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  // The current port and its device, in the row's free right half (R, N and Spur stay hidden).
  Put(t, "lblPortDevice", 456, 466, 327, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  PutAll(t, {{"lblVersion", 456, 466, 80, kLabelHeight},
             {"lblR", 544, 466, 16, kLabelHeight},
             {"edtR", 562, 464, 60, kEditHeight},
             {"lblN", 630, 466, 16, kLabelHeight},
             {"edtN", 648, 464, 60, kEditHeight},
             {"chkSpur", 716, 464, 60, kCheckHeight}});
  const char* keys[] = {"btnF1Help",   "btnF3Read", "btnF4Program",
                        "btnF7SaveAs", "btnF8Load", "btnF10Exit"};
  for (int i = 0; i < 6; ++i)
    Put(t, keys[i], 10 + 130 * i, 496, 122, 30);
}

void ToolBar(Table& t) {
  Put(t, "ToolBar1", 0, 0, kMainClientWidth, 41);
  struct Tool {
    const char* name;
    QStyle::StandardPixmap icon;
  };
  static const Tool tools[] = {{"ToolButton1", QStyle::SP_DialogOpenButton},
                               {"ToolButton2", QStyle::SP_DialogSaveButton},
                               {"ToolButton3", QStyle::SP_ArrowDown},
                               {"ToolButton4", QStyle::SP_ArrowUp},
                               {"ToolButton5", QStyle::SP_DialogCloseButton}};
  for (const Tool& tool : tools) {
    Put(t, tool.name, 0, 0, 151, 36);
    if (QApplication::style())
      t[tool.name].icon = QApplication::style()->standardIcon(tool.icon);
  }
}

// FLEX Address page: frequency, serial number, band, LED flash, the code grid, auto stepping.
void AddressPage(Table& t) {
  PutAll(t, {{"gpbFrequency", 6, 6, 124, 50},
             {"edtFrequency", 10, 21, 104, kEditHeight},
             {"gpbSerialNumber", 136, 6, 124, 50},
             {"edtSerialNumber", 10, 21, 104, kEditHeight},
             {"gpbSerialNumberAuto", 136, 6, 124, 50},
             {"edtSerialNumberAuto", 8, 21, 62, kEditHeight},
             {"btnWriteSN", 74, 20, 44, 23},
             {"chkLEDFlashforever", 488, 24, 160, kCheckHeight}});
  Put(t, "rgpBandOption", 266, 6, 212, 50, {}, 2);
  Put(t, "rgpPLLICOption", 266, 6, 212, 50, {}, 2);
  Put(t, "rgpCodingFormatBaudRate", 488, 6, 240, 50, {}, 3);

  // The code grid: one column per field, one row per code, headers on top.
  Put(t, "gpbCodes", 6, 62, 767, 212);
  struct Column {
    int x, w;
  };
  enum {
    Enable,
    Code,
    DAlert,
    Vib,
    Beep,
    Voice,
    Led,
    Time,
    Cadence,
    Repeat,
    AlertTime,
    Set,
    IncDec
  };
  static const Column cols[] = {{10, 72},  {84, 78},  {170, 44}, {214, 36}, {250, 40},
                                {290, 40}, {330, 36}, {374, 54}, {436, 74}, {518, 62},
                                {586, 84}, {678, 40}, {726, 30}};
  static const char* headers[] = {"lblHdrEnabled", "lblHdrCapCode", "lblHdrDAlert",    "lblHdrVIB",
                                  "lblHdrBEEP",    "lblHdrVoice",   "lblHdrLED",       "lblHdrTime",
                                  "lblHdrCadence", "lblHdrRepeat",  "lblHdrAlerttime", "lblHdrSet",
                                  "lblHdrIncDec"};
  for (int c = 0; c < 13; ++c) {
    if (c == AlertTime) { // over right-aligned read-outs
      Put(t, headers[c], cols[c].x, 17, cols[c].w - 6, kLabelHeight,
          Qt::AlignRight | Qt::AlignVCenter);
      continue;
    }
    const Qt::Alignment align = c == Enable ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter;
    Put(t, headers[c], cols[c].x, 17, cols[c].w, kLabelHeight, align);
  }
  for (int k = 0; k < 6; ++k) {
    const CodeRowNames& r = CodeRows()[k];
    const int y = 36 + 28 * k;
    auto box = [&](const std::string& name, int c) {
      Put(t, name, cols[c].x + (cols[c].w - kCheckIndicator) / 2, y + 1, kCheckIndicator,
          kCheckHeight);
    };
    auto edit = [&](const std::string& name, int c) {
      Put(t, name, cols[c].x, y, cols[c].w, kEditHeight);
    };
    Put(t, r.enable, cols[Enable].x, y + 1, cols[Enable].w, kCheckHeight);
    edit(r.code, Code);
    box(r.defaultAlert, DAlert);
    box(r.vib, Vib);
    box(r.beep, Beep);
    box(r.voice, Voice);
    box(r.led, Led);
    edit(r.time, Time);
    edit(r.cadence, Cadence);
    edit(r.repeat, Repeat);
    Put(t, r.alertTime, cols[AlertTime].x, y, cols[AlertTime].w - 6, kEditHeight,
        Qt::AlignRight | Qt::AlignVCenter);
    Put(t, r.set, cols[Set].x, y - 1, cols[Set].w, kEditHeight + 2);
    edit(r.incDec, IncDec);
  }

  PutAll(t, {{"gpbAutoIncDec", 6, 280, 500, 76},
             {"chkAutoIncrementorDecrement", 10, 40, 72, kCheckHeight}});
  Put(t, "rgpCapCodeAutoIncrementDecrement", 90, 18, 400, 50, {}, 2);

  // Frame, phase, battery cycle and type of codes A and B: never shown.
  PutAll(t, {{"gpbCodeA1", 452, 280, 100, 50},
             {"edtCodeA1", 8, 21, 84, kEditHeight},
             {"gpbFrame1", 558, 280, 60, 50},
             {"edtFrame1", 8, 21, 44, kEditHeight},
             {"gpbBatteryCycle1", 624, 280, 90, 50},
             {"edtBatteryCycle1", 8, 21, 30, kEditHeight},
             {"gpbCodeB1", 452, 334, 100, 50},
             {"edtCodeB1", 8, 21, 84, kEditHeight},
             {"gpbFrame2", 558, 334, 60, 50},
             {"edtFrame2", 8, 21, 44, kEditHeight},
             {"gpbBatteryCycle2", 624, 334, 90, 50},
             {"edtBatteryCycle2", 8, 21, 30, kEditHeight},
             {"Label2", 452, 264, 40, kLabelHeight},
             {"Label3", 500, 264, 40, kLabelHeight}});
  Put(t, "rgpPhase", 452, 280, 160, 50, {}, 4);
  Put(t, "rgpType", 612, 280, 160, 50, {}, 2);
}

// The alert pattern of the out-of-range and power-on alerts: alert boxes on one row, the
// Time, Cadence and Repeat count edits under their captions, and the alert-time read-out.
struct AlertBlock {
  const char *vib, *beep, *voice, *led;
  const char *timeCaption, *time, *cadenceCaption, *cadence, *repeatCaption, *repeat, *alertCaption,
      *alertTime;
};

void PutAlertBlock(Table& t, const AlertBlock& b, int checksY) {
  PutAll(t, {{b.vib, 12, checksY, 50, kCheckHeight},
             {b.beep, 68, checksY, 58, kCheckHeight},
             {b.voice, 132, checksY, 62, kCheckHeight},
             {b.led, 200, checksY, 52, kCheckHeight}});
  const int captions = checksY + 28;
  const int edits = captions + 16;
  Put(t, b.timeCaption, 12, captions, 60, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  Put(t, b.cadenceCaption, 82, captions, 80, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  Put(t, b.repeatCaption, 172, captions, 64, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  Put(t, b.alertCaption, 246, captions, 90, kLabelHeight, Qt::AlignRight | Qt::AlignVCenter);
  PutAll(t, {{b.time, 12, edits, 56, kEditHeight},
             {b.cadence, 82, edits, 80, kEditHeight},
             {b.repeat, 172, edits, 58, kEditHeight}});
  Put(t, b.alertTime, 246, edits, 90, kEditHeight, Qt::AlignRight | Qt::AlignVCenter);
}

// Standard page: standard options, out-of-range and power-on alerts, standby LED; the
// battery and beep groups stay hidden.
void StandardPage(Table& t) {
  PutAll(t, {{"gpbStandard", 6, 6, 180, 73},
             {"chkOutofRangeIndicator", 10, 20, 164, kCheckHeight},
             {"chkInvertData", 10, 44, 164, kCheckHeight},
             {"chkMemoryCleanup", 10, 68, 164, kCheckHeight},
             {"chkBeeponBadData", 10, 92, 164, kCheckHeight},
             {"chkCustomDisplay", 10, 116, 164, kCheckHeight},
             {"chkDownloadPassword", 10, 140, 164, kCheckHeight},
             {"chkPRCCharacterSet", 10, 164, 164, kCheckHeight},
             {"gpbPagerPassword", 6, 84, 180, 50},
             {"edtPagerPassword", 10, 21, 160, kEditHeight},
             {"gpbDisplayEntry", 6, 84, 180, 50},
             {"edtDisplayEntry", 10, 21, 160, kEditHeight}});

  PutAll(t,
         {{"gpbOutofRange", 194, 6, 350, 126}, {"edtOutofRangeTimer", 126, 20, 46, kEditHeight}});
  Put(t, "lblOutofRangeTimer", 12, 22, 110, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  Put(t, "lblOutofRangeTimerSec", 176, 22, 40, kLabelHeight, Qt::AlignLeft | Qt::AlignVCenter);
  Put(t, "rgpOutofRangeTimer", 222, 10, 120, 64);
  PutAlertBlock(t,
                {"chkOutofRangeVIB", "chkOutofRangeBEEP", "chkOutofRangeVoice", "chkOutofRangeLED",
                 "lblOutofRangeTime", "edtOutofRangeTime", "lblOutofRangeCadence",
                 "edtOutofRangeCadence", "lblOutofRangeRepeatcnt", "edtOutofRangeRepeatcnt",
                 "lblOutofRangeAlerttimeCaption", "lblOutofRangeAlerttime"},
                50);

  Put(t, "gpbPowerOnAlert", 194, 152, 350, 104);
  PutAlertBlock(t,
                {"chkPowerAlertVIB", "chkPowerAlertBEEP", "chkPowerAlertVoice", "chkPowerAlertLED",
                 "lblPowerAlertTime", "edtPowerAlertTime", "lblPowerAlertCadence",
                 "edtPowerAlertCadence", "lblPowerAlertRepeatcnt", "edtPowerAlertRepeatcnt",
                 "lblPowerAlertAlerttimeCaption", "lblPowerAlertAlerttime"},
                22);
  Put(t, "chkResetkey", 258, 22, 84, kCheckHeight);

  // Power-on standby: only the standby LED times are shown.
  PutAll(t, {{"gpbPoweronStandby", 6, 152, 137, 104},
             {"gpbStandbyPowerLED", 5, 22, 127, 76},
             {"lblPowerLEDON", 8, 25, 54, kLabelHeight},
             {"edtPowerLEDON", 66, 23, 46, kEditHeight},
             {"lblPowerLEDOFF", 8, 51, 54, kLabelHeight},
             {"edtPowerLEDOFF", 66, 49, 46, kEditHeight},
             {"gpbPowerTime", 8, 18, 121, 50},
             {"edtPowerTime", 8, 21, 60, kEditHeight},
             {"gpbPowerCadence", 8, 18, 121, 50},
             {"edtPowerCadence", 8, 21, 100, kEditHeight},
             {"gpbPowerLED", 8, 18, 121, 50},
             {"chkPowerLED", 8, 21, 100, kCheckHeight}});

  // Battery thresholds and beep tone: never shown.
  PutAll(t, {{"gpbDisCharging", 6, 270, 180, 76},
             {"edtUp1", 10, 20, 70, kEditHeight},
             {"edtDown1", 90, 20, 70, kEditHeight},
             {"edtUp2", 10, 46, 70, kEditHeight},
             {"edtDown2", 90, 46, 70, kEditHeight},
             {"gpbCharging", 194, 270, 180, 76},
             {"edtUp3", 10, 20, 70, kEditHeight},
             {"edtDown3", 90, 20, 70, kEditHeight},
             {"edtUp4", 10, 46, 70, kEditHeight},
             {"edtDown4", 90, 46, 70, kEditHeight},
             {"gpbChargeroffRecharg", 382, 270, 180, 50},
             {"edtChargeroff", 10, 21, 70, kEditHeight},
             {"edtRecharg", 90, 21, 70, kEditHeight},
             {"gpbLowBattery", 570, 270, 180, 50},
             {"edtLowBatteryRecovery", 10, 21, 70, kEditHeight},
             {"edtLowBatteryWarning", 90, 21, 70, kEditHeight},
             {"gpbBEEPFrequency", 382, 326, 100, 50},
             {"edtBEEPFrequency", 10, 21, 70, kEditHeight}});
}

const Table& MainTable() {
  static const Table table = [] {
    Table t;
    ToolBar(t);
    Foot(t);
    AddressPage(t);
    StandardPage(t);
    return t;
  }();
  return table;
}

} // namespace

std::optional<Placement> MainWindowPlacement(const Control& c) {
  const Table& t = MainTable();
  auto it = t.find(c.name);
  if (it == t.end())
    return std::nullopt;
  return it->second;
}

} // namespace pw::ui
