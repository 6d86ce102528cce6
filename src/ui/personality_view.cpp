// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/personality_view.h"

#include <array>
#include <vector>

#include "batch/programming_log.h"
#include "codeplug/capcode_stepping.h"
#include "codeplug/flex_address.h"
#include "codeplug/memory_map.h"
#include "files/alert_fields.h"
#include "files/frequency.h"
#include "files/serial_number.h"
#include "ui/field_table.h"
#include "ui/main_controls.h"

namespace pw::ui {

namespace {

constexpr char kBackspace = 8;
constexpr char kEnterKey = '\r';

constexpr const char* kHelpLine = "lblHelp1";
constexpr const char* kAutoStepBox = "chkAutoIncrementorDecrement";
constexpr const char* kStepDirection = "rgpCapCodeAutoIncrementDecrement";
constexpr const char* kFrequencyEdit = "edtFrequency";
constexpr const char* kIndicatorBox = "chkOutofRangeIndicator";
constexpr const char* kFlashForeverBox = "chkLEDFlashforever";

// The Time and Repeat edits and the read-out label of alert 1-8.
struct AlertNames {
  std::string time, cadence, repeat, label;
};

AlertNames AlertNamesOf(int alert) {
  if (alert >= 1 && alert <= map::kCodeCount) {
    const CodeRowNames& r = CodeRows()[alert - 1];
    return {r.time, r.cadence, r.repeat, r.alertTime};
  }
  if (alert == kOutOfRangeAlert)
    return {"edtOutofRangeTime", "edtOutofRangeCadence", "edtOutofRangeRepeatcnt",
            "lblOutofRangeAlerttime"};
  return {"edtPowerAlertTime", "edtPowerAlertCadence", "edtPowerAlertRepeatcnt",
          "lblPowerAlertAlerttime"};
}

// Controls of the out-of-range alert that follow its indicator box.
constexpr const char* kOutOfRangeGroup[] = {
    "edtOutofRangeTimer", "chkOutofRangeVIB",       "chkOutofRangeBEEP",     "chkOutofRangeLED",
    "edtOutofRangeTime",  "edtOutofRangeCadence",   "edtOutofRangeRepeatcnt", "lblOutofRangeAlerttime"};

// The battery edits whose rejection a press on the hidden standby edits reports.
constexpr int kReportedBatteryItems = 8;

constexpr std::uint8_t kPolarityMask = 0x03;
constexpr std::uint8_t kPolarityInverted = 0x01;
constexpr std::uint8_t kPolarityNormal = 0x03;

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }
bool IsLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

bool KeyAllowed(KeyFilter filter, char ch) {
  switch (filter) {
  case KeyFilter::Any: return true;
  case KeyFilter::Digits: return IsDigit(ch);
  case KeyFilter::Steps: return ch >= '0' && ch <= '0' + kMaxStep;
  case KeyFilter::Binary: return ch == '0' || ch == '1';
  case KeyFilter::Decimal: return IsDigit(ch) || ch == '.';
  case KeyFilter::Alphanumeric: return IsDigit(ch) || IsLetter(ch);
  case KeyFilter::Password: return IsDigit(ch) || IsLetter(ch) || ch == ' ';
  case KeyFilter::DisplayEntry: return IsDigit(ch) || ch == '-' || ch == ' ';
  }
  return true;
}

bool IsCadenceRule(FieldRule rule) {
  return rule == FieldRule::AlertCadence || rule == FieldRule::StandbyCadence;
}

} // namespace

struct PersonalityView::Impl {
  Impl(PersonalityView& view, Controls& controls, Codeplug& codeplug, Host& host,
       ViewState& state)
      : view(view), c(controls), cp(codeplug), host(host), st(state),
        invalid(FieldTable().size(), false) {}

  PersonalityView& view;
  Controls& c;
  Codeplug& cp;
  Host& host;
  ViewState& st;

  AddressState addresses;
  FrequencyField frequency;
  std::vector<bool> invalid; // FieldInvalid by row of the field table
  std::array<int, map::kCodeCount> steps{};

  // ---- Small helpers ---------------------------------------------------------------------

  bool Ready(FieldPage page) const {
    return page == FieldPage::Address ? st.AddressPageReady : st.StandardPageReady;
  }
  void SetHelp(const std::string& text) { c.SetCaption(kHelpLine, text); }
  void Show(const Messages& messages) {
    for (const Message& m : messages) host.Show(m);
  }
  void FlashForeverChanged() {
    if (view.LedFlashForeverChanged) view.LedFlashForeverChanged();
  }

  std::vector<bool>::reference Invalid(const FieldRow& row) {
    return invalid[std::size_t(FieldIndex(row.name))];
  }
  bool IsInvalid(const FieldRow& row) const {
    if (row.rule == FieldRule::Frequency) return frequency.FieldInvalid;
    return invalid[std::size_t(FieldIndex(row.name))];
  }
  void SetInvalid(const FieldRow& row, bool on) {
    if (row.rule == FieldRule::Frequency) frequency.FieldInvalid = on;
    else Invalid(row) = on;
  }

  CodeEdits ReadEdits() const {
    CodeEdits e;
    for (int k = 1; k <= map::kCodeCount; ++k) {
      const CodeRowNames& r = CodeRows()[k - 1];
      e.text[k - 1] = c.Text(r.code);
      e.enabled[k - 1] = c.Checked(r.enable);
    }
    return e;
  }

  void ShowAlertTimeOf(int alert) {
    const AlertNames n = AlertNamesOf(alert);
    c.SetCaption(n.label, ShowAlertTime(alert, c.Text(n.time), c.Text(n.repeat),
                                        c.Checked(kFlashForeverBox)));
  }

  void RecordTopic(const FieldRow& row) {
    if (row.topic < 0) return;
    if (row.page == FieldPage::Address) st.AddressTopic = row.topic;
    else st.StandardTopic = row.topic;
    st.CommandTopic = -1;
  }

  void ShowRowHelp(const FieldRow& row) {
    switch (row.helpKind) {
    case HelpKind::None: return;
    case HelpKind::Fixed: SetHelp(row.help); return;
    case HelpKind::Frequency:
      if (std::optional<std::string> line = FrequencyHelpLine(cp)) SetHelp(*line);
      return;
    case HelpKind::ByItem: {
      const int item = c[row.name].itemIndex;
      if (item >= 0 && item < int(row.itemHelp.size())) SetHelp(row.itemHelp[std::size_t(item)]);
      return;
    }
    }
  }

  // ---- Rules -----------------------------------------------------------------------------

  // Runs the rule of a field on its control and shows what it says; true when the entry was
  // taken as typed.
  bool RunRule(const FieldRow& row) {
    if (row.rule == FieldRule::None) return true;
    if (row.rule == FieldRule::Capcode) return RunCapcode(row);

    std::string text = c.Text(row.name);
    Messages out;
    bool ok = true;
    switch (row.rule) {
    case FieldRule::SerialNumber: ok = ValidateSerialNumber(cp, text, out); break;
    case FieldRule::Frequency: {
      const FrequencyOutcome o = ValidateFrequency(cp, frequency, text, out);
      if (o.stored) {
        c.SetText("edtR", o.rText);
        c.SetText("edtN", o.nText);
      }
      if (o.focusBack) st.RequestFocus(row.name);
      ok = o.accepted;
      break;
    }
    case FieldRule::AlertTime: ok = ValidateAlertTime(cp, row.index, text, out); break;
    case FieldRule::AlertRepeat: ok = ValidateAlertRepeat(cp, row.index, text, out); break;
    case FieldRule::AlertCadence: ok = ValidateAlertCadence(cp, row.index, text, out); break;
    case FieldRule::StandbyTime: ok = ValidateStandbyTime(cp, text, out); break;
    case FieldRule::StandbyCadence: ok = ValidateStandbyCadence(cp, text, out); break;
    case FieldRule::OutOfRangeTimer: ok = ValidateOutOfRangeTimer(cp, text, out); break;
    case FieldRule::PowerLedOn: ok = ValidatePowerLed(cp, PowerLed::On, text, out); break;
    case FieldRule::PowerLedOff: ok = ValidatePowerLed(cp, PowerLed::Off, text, out); break;
    case FieldRule::BeepFrequency: ok = ValidateBeepFrequency(cp, text, out); break;
    case FieldRule::Battery: ok = ValidateBattery(cp, row.index, text, out); break;
    case FieldRule::StepEdit: steps[std::size_t(row.index - 1)] = ApplyStepEdit(text); break;
    case FieldRule::None:
    case FieldRule::Capcode: break;
    }
    c.SetText(row.name, text);
    if (!ok && row.invalidFlag && row.rule != FieldRule::Frequency) SetInvalid(row, true);
    Show(out);
    if (row.rule == FieldRule::AlertTime || row.rule == FieldRule::AlertRepeat)
      ShowAlertTimeOf(row.index);
    return ok;
  }

  bool RunCapcode(const FieldRow& row) {
    const int k = row.index;
    CodeEdits edits = ReadEdits();
    const CodeCheck check = ValidateCode(cp, k, edits, addresses);
    c.SetText(row.name, edits.text[std::size_t(k - 1)]);
    RebuildFrameBitmap(cp, edits, addresses);
    if (check.fieldInvalid) SetInvalid(row, true);
    if (check.duplicate) st.RequestFocus(row.name);
    Show(check.messages);
    return !check.duplicate && !check.fieldInvalid;
  }

  // The Enter key: the rule at once, the focus stays.
  void EnterKey(const FieldRow& row) {
    if (row.rule == FieldRule::None) return;
    if (row.keyGuarded && !Ready(row.page)) return;
    RunRule(row);
    if (row.invalidFlag && row.rule != FieldRule::SerialNumber) SetInvalid(row, false);
  }

  // Leaving the field; the answer says whether a command waiting for this validation may run.
  bool Leave(const FieldRow& row) {
    if (row.exit == OnExit::Nothing || row.rule == FieldRule::None) return true;
    if (row.guarded && !Ready(row.page)) return true;
    const bool ok = RunRule(row);
    switch (row.exit) {
    case OnExit::FocusIfInvalid:
      if (IsInvalid(row)) {
        SetInvalid(row, false);
        st.RequestFocus(row.name);
      }
      break;
    case OnExit::FocusIfRejected:
      if (!ok) st.RequestFocus(row.name);
      break;
    case OnExit::ClearInvalid: SetInvalid(row, false); break;
    case OnExit::ValidateOnly:
    case OnExit::Nothing: break;
    }
    if (row.rule == FieldRule::Capcode || IsCadenceRule(row.rule)) return ok;
    return true;
  }

  // ---- Clicks ----------------------------------------------------------------------------

  void WriteBits(std::uint16_t offset, std::uint8_t mask, bool on) {
    std::uint8_t& b = cp.At(offset);
    b = static_cast<std::uint8_t>(on ? (b | mask) : (b & ~mask));
  }

  void SetCodeRowEnabled(int k, bool on) {
    const CodeRowNames& r = CodeRows()[k - 1];
    // The voice box stays disabled: this pager has no voice segments to choose.
    for (const std::string* name : {&r.code, &r.defaultAlert, &r.vib, &r.beep, &r.led, &r.time,
                                    &r.cadence, &r.repeat, &r.set, &r.alertTime})
      c.SetEnabled(*name, on);
  }

  void ToggleCode(const FieldRow& row) {
    const int k = row.index;
    const bool on = c.Checked(row.name);
    SetCodeRowEnabled(k, on);
    CodeEdits edits = ReadEdits();
    Messages out;
    if (!SetCodeEnabled(cp, k, on, edits, addresses, out))
      st.RequestFocus(CodeRows()[k - 1].code);
    if (c.Checked(kAutoStepBox)) c.SetEnabled(CodeRows()[k - 1].incDec, on);
    Show(out);
  }

  void Click(const FieldRow& row) {
    if (row.click == ClickAction::None) return;
    if (row.guarded && !Ready(row.page)) return;
    const bool on = c[row.name].checked;
    switch (row.click) {
    case ClickAction::None: return;
    case ClickAction::Bits: WriteBits(row.byte, row.mask, on); break;
    case ClickAction::CodeEnable: ToggleCode(row); break;
    case ClickAction::OutOfRangeIndicator:
      WriteBits(row.byte, row.mask, on);
      for (const char* name : kOutOfRangeGroup) c.SetEnabled(name, on);
      break;
    case ClickAction::InvertData: {
      std::uint8_t& b = cp.At(row.byte);
      b = static_cast<std::uint8_t>((b & ~kPolarityMask) |
                                    (on ? kPolarityInverted : kPolarityNormal));
      break;
    }
    case ClickAction::LedFlashForever:
      WriteBits(row.byte, row.mask, on);
      FlashForeverChanged();
      break;
    case ClickAction::AutoStep:
      c.SetEnabled(kStepDirection, on);
      for (const CodeRowNames& r : CodeRows())
        if (c.Checked(r.enable)) c.SetEnabled(r.incDec, on);
      break;
    case ClickAction::StepDirection: ShowRowHelp(row); break;
    case ClickAction::BandOption: SetBandOption(cp, c[row.name].itemIndex); break;
    case ClickAction::PllIcOption: SetPllIcOption(cp, c[row.name].itemIndex); break;
    }
    if (row.clickSetsTopic) {
      ShowRowHelp(row);
      RecordTopic(row);
    }
  }

  void MouseDown(const FieldRow& row, bool left) {
    if (row.mouseTopic < 0) return;
    if (row.page == FieldPage::Address) {
      if (left) st.AddressTopic = row.mouseTopic;
      st.CommandTopic = -1;
      return;
    }
    if (!left) return;
    st.StandardTopic = row.mouseTopic;
    st.CommandTopic = -1;
    if (row.rule != FieldRule::StandbyTime && row.rule != FieldRule::StandbyCadence) return;
    // A battery edit rejected earlier becomes the topic; the last one found wins.
    for (const FieldRow& f : FieldTable()) {
      if (f.rule != FieldRule::Battery || f.index > kReportedBatteryItems) continue;
      if (IsInvalid(f)) {
        st.StandardTopic = f.topic;
        SetInvalid(f, false);
      }
    }
  }

  // ---- Refills ---------------------------------------------------------------------------

  void ShowCheckBoxes(FieldPage page) {
    for (const FieldRow& row : FieldTable()) {
      if (row.page != page) continue;
      if (row.click == ClickAction::Bits || row.click == ClickAction::OutOfRangeIndicator ||
          row.click == ClickAction::LedFlashForever)
        c.SetChecked(row.name, (cp.WorkingImage[row.byte] & row.mask) != 0);
    }
  }

  void ShowAlert(int alert) {
    const AlertNames n = AlertNamesOf(alert);
    c.SetText(n.time, AlertTimeShown(cp, alert));
    c.SetText(n.cadence, AlertCadenceShown(cp, alert));
    c.SetText(n.repeat, AlertRepeatShown(cp, alert));
    ShowAlertTimeOf(alert);
  }

  void RefreshAddressPage() {
    cp.NormalizeRfOptionsStep2();
    c.SetText("edtSerialNumber", SerialNumberShown(cp));
    c.SetText("edtR", RWordText(cp));
    c.SetText("edtN", NWordText(cp));
    const std::string shown = FrequencyFromImage(cp);
    c.SetText(kFrequencyEdit, shown);
    frequency.LastGoodFrequencyText = shown;
    MarkExactDividerFlag(cp);
    InferSubBandFromImage(cp);
    c["rgpBandOption"].itemIndex = BandOptionItem(cp);
    c["rgpPLLICOption"].itemIndex = cp.Rf.PllIcOption;

    ShowCheckBoxes(FieldPage::Address);
    FlashForeverChanged();

    const bool stepping = c.Checked(kAutoStepBox);
    for (int k = 1; k <= map::kCodeCount; ++k) {
      const CodeRowNames& r = CodeRows()[k - 1];
      const bool enabled = (EnableBits(cp, k) & map::kEnableShort) != 0;
      c.SetChecked(r.enable, enabled);
      c.SetEnabled(r.incDec, enabled && stepping);
      SetCodeRowEnabled(k, enabled);
      // A blank first word holds no capcode: it is repaired whether the code is enabled or
      // not, so an enabled code never shows a negative or garbled address.
      c.SetText(r.code, ShowCode(cp, k, addresses, true));
      ShowAlert(k);
    }
  }

  void RefreshStandardPage() {
    c.SetChecked("chkInvertData",
                 (cp.WorkingImage[map::kDataPolarity] & kPolarityMask) != kPolarityNormal);
    for (const FieldRow& row : FieldTable())
      if (row.rule == FieldRule::Battery) c.SetText(row.name, BatteryText(cp, row.index));

    ShowCheckBoxes(FieldPage::Standard);
    const bool indicator = c.Checked(kIndicatorBox);
    c.SetText("edtOutofRangeTimer", std::to_string(OutOfRangeTimerShownValue(cp)));
    for (const char* name : kOutOfRangeGroup) c.SetEnabled(name, indicator);
    ShowAlert(kOutOfRangeAlert);
    ShowAlert(kPowerOnAlert);

    c.SetText("edtPowerLEDON", ShowPowerLed(cp, PowerLed::On));
    c.SetText("edtPowerLEDOFF", ShowPowerLed(cp, PowerLed::Off));
    c.SetText("edtBEEPFrequency", BeepFrequencyShown(cp));
    c.SetText("edtPowerTime", StandbyTimeShown(cp));
    c.SetText("edtPowerCadence", StandbyCadenceShown(cp));
  }

  void RefreshActivePage() {
    SetHelp("");
    if (st.ActivePage == 0) {
      st.AddressTopic = st.StandardTopic = st.CommandTopic = -1;
      st.AddressPageReady = false;
      RefreshAddressPage();
      st.AddressPageReady = true;
      ShowRowHelp(*FindField(kFrequencyEdit));
      st.AddressTopic = FindField(kFrequencyEdit)->topic;
      st.RequestFocus(kFrequencyEdit);
    } else {
      const FieldRow& indicator = *FindField(kIndicatorBox);
      st.StandardTopic = indicator.topic;
      SetHelp(indicator.help);
      st.StandardPageReady = false;
      RefreshStandardPage();
      st.StandardPageReady = true;
      st.RequestFocus(kIndicatorBox);
    }
  }

  // ---- Commands --------------------------------------------------------------------------

  bool ValidatePendingField() {
    const bool address = st.ActivePage == 0;
    const FieldRow* row = FieldForTopic(address ? FieldPage::Address : FieldPage::Standard,
                                        address ? st.AddressTopic : st.StandardTopic);
    if (!row) return true;
    if (row->rule == FieldRule::SerialNumber) {
      // Only this validation counts: an earlier refusal since corrected must not stop the
      // command.
      SetInvalid(*row, false);
      Leave(*row);
      const bool refused = IsInvalid(*row);
      SetInvalid(*row, false);
      return !refused;
    }
    return Leave(*row);
  }

  std::optional<std::array<std::string, map::kCodeCount>> PreviewAutoStep() const {
    Codeplug copy = cp;
    CodeEdits edits = ReadEdits();
    AddressState state = addresses;
    const StepOutcome outcome = ApplyAutoStep(copy, edits, state, steps, Direction());
    if (outcome.duplicate)
      return std::nullopt;
    return CapcodesOf(copy.WorkingImage);
  }

  StepDirection Direction() const {
    return c[kStepDirection].itemIndex == int(StepDirection::Decrement) ? StepDirection::Decrement
                                                                        : StepDirection::Increment;
  }

  bool AutoStepCodes() {
    CodeEdits edits = ReadEdits();
    const StepDirection direction = c[kStepDirection].itemIndex == int(StepDirection::Decrement)
                                        ? StepDirection::Decrement
                                        : StepDirection::Increment;
    const StepOutcome outcome = ApplyAutoStep(cp, edits, addresses, steps, direction);
    Show(outcome.messages);
    if (outcome.duplicate) return false;
    for (int k = 1; k <= map::kCodeCount; ++k) {
      if (!edits.enabled[std::size_t(k - 1)]) continue;
      const FieldRow& row = *FindField(CodeRows()[k - 1].code);
      c.SetText(row.name, edits.text[std::size_t(k - 1)]);
      SetInvalid(row, false);
    }
    return true;
  }
};

PersonalityView::PersonalityView(Controls& controls, Codeplug& codeplug, Host& host,
                                 ViewState& state)
    : impl_(std::make_unique<Impl>(*this, controls, codeplug, host, state)) {}

PersonalityView::~PersonalityView() = default;

void PersonalityView::RefreshActivePage() { impl_->RefreshActivePage(); }
void PersonalityView::RefreshAddressPage() { impl_->RefreshAddressPage(); }
void PersonalityView::RefreshStandardPage() { impl_->RefreshStandardPage(); }

bool PersonalityView::HandlesControl(const std::string& name) const {
  return FindField(name) != nullptr;
}

void PersonalityView::Enter(const std::string& name) {
  const FieldRow* row = FindField(name);
  if (!row || row->topic < 0) return;
  if (row->rule == FieldRule::Frequency)
    FrequencyFieldEnter(impl_->frequency, impl_->c.Text(name));
  impl_->ShowRowHelp(*row);
  impl_->RecordTopic(*row);
}

void PersonalityView::Exit(const std::string& name) {
  if (const FieldRow* row = FindField(name)) impl_->Leave(*row);
}

bool PersonalityView::KeyPress(const std::string& name, char ch) {
  const FieldRow* row = FindField(name);
  if (!row) return true;
  if (ch == kEnterKey) {
    impl_->EnterKey(*row);
    return false;
  }
  return ch == kBackspace || KeyAllowed(row->filter, ch);
}

void PersonalityView::Click(const std::string& name) {
  if (const FieldRow* row = FindField(name)) impl_->Click(*row);
}

void PersonalityView::MouseDown(const std::string& name, bool leftButton) {
  if (const FieldRow* row = FindField(name)) impl_->MouseDown(*row, leftButton);
}

bool PersonalityView::ValidatePendingField() { return impl_->ValidatePendingField(); }

bool PersonalityView::AutoStepCodes() { return impl_->AutoStepCodes(); }

std::optional<std::array<std::string, map::kCodeCount>> PersonalityView::PreviewAutoStep() const {
  return impl_->PreviewAutoStep();
}

bool PersonalityView::FieldInvalid(const std::string& name) const {
  const FieldRow* row = FindField(name);
  return row && row->invalidFlag && impl_->IsInvalid(*row);
}

int PersonalityView::Step(int k) const {
  return k >= 1 && k <= map::kCodeCount ? impl_->steps[std::size_t(k - 1)] : 0;
}

const std::string& PersonalityView::LastGoodFrequencyText() const {
  return impl_->frequency.LastGoodFrequencyText;
}

} // namespace pw::ui
