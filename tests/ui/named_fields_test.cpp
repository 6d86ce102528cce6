// SPDX-License-Identifier: GPL-3.0-or-later
// The named fields: one name for every value the two pages and the alert sets show, and
// values typed through the controls' own filters and rules.
#include <gtest/gtest.h>

#include <set>

#include "base/clock.h"
#include "codeplug/memory_map.h"
#include "support/scripted_host.h"
#include "support/scripted_shell.h"
#include "ui/named_fields.h"

namespace pw::ui {
namespace {

class NamedFieldsTest : public ::testing::Test {
protected:
  NamedFieldsTest() : model(host, shell, clock, nullptr, "") { model.FormCreate(); }

  std::string Read(const std::string& name) {
    for (const FieldReading& r : ReadNamedFields(model))
      if (r.field->name == name)
        return r.value;
    return "<missing>";
  }
  ApplyOutcome Apply(const std::string& name, const std::string& value, ApplyMode mode) {
    const NamedField* f = FindNamedField(name);
    EXPECT_NE(f, nullptr) << name;
    return f ? ApplyNamedField(model, *f, value, mode) : ApplyOutcome{};
  }

  pw::test::ScriptedHost host;
  pw::test::ScriptedShell shell;
  VirtualClock clock;
  FormModel model;
};

bool IsValueKind(Kind k) {
  return k == Kind::Edit || k == Kind::CheckBox || k == Kind::RadioGroup || k == Kind::ComboBox;
}

TEST_F(NamedFieldsTest, EveryValueTheWindowShowsHasOneNameAndGatesComeFirst) {
  std::set<std::string> names, labels;
  for (const NamedField& f : NamedFields()) {
    EXPECT_TRUE(names.insert(f.name).second) << f.name;
    EXPECT_TRUE(labels.insert(ControlLabel(f)).second) << f.name;
    for (const FieldGate& g : f.gates) {
      const std::string gate =
          g.inEditor ? "Set" + std::string(1, char('A' + f.set - 1)) + "." + g.control : g.control;
      const NamedField* gf = FindNamedField(gate);
      ASSERT_NE(gf, nullptr) << f.name << " " << gate;
      EXPECT_LT(gf - NamedFields().data(), &f - NamedFields().data()) << f.name;
    }
    for (const ByteSpan& s : f.bytes)
      EXPECT_LE(s.first + s.count, map::kPersonalitySize) << f.name;
  }
  // Every value control the window shows on its pages (all codes enabled, so none is greyed
  // out of the picture) and in an alert set is named; headings are not.
  for (int page = 0; page < 2; ++page) {
    model.PageChanged(page);
    const char* pageName = page == 0 ? "TSFLEXAddressOption" : "TSStandardOption";
    for (const std::string& name : model.controls.Order()) {
      const Control& c = model.controls[name];
      bool onPage = false;
      for (const Control* p = &c; p;
           p = p->parent.empty() ? nullptr : model.controls.Find(p->parent))
        onPage = onPage || p->name == pageName;
      if (onPage && IsValueKind(c.kind) && model.controls.Shown(name)) {
        EXPECT_TRUE(labels.count(name)) << name;
      }
    }
  }
  model.editor().Open(1);
  for (const std::string& name : model.editor().controls.Order()) {
    if (IsValueKind(model.editor().controls[name].kind) && name.rfind("edtExtendIDfunction", 0)) {
      EXPECT_TRUE(labels.count("SetA." + name)) << name;
    }
  }
  model.editor().Close();
  EXPECT_EQ(FindNamedField("lblHdrAlerttime"), nullptr);
}

TEST_F(NamedFieldsTest, ValuesPassTheControlsFiltersAndRules) {
  using S = ApplyOutcome::Status;
  struct Case {
    const char* name;
    const char* value;
    ApplyMode mode;
    S status;
    const char* stored; // the field afterwards
  };
  const ApplyMode typed = ApplyMode::AsTyped, gates = ApplyMode::OpenGates;
  const Case cases[] = {
      {"code.A.capcode", "5000", typed, S::Applied, "0005000"},
      {"code.A.capcode", "2101249", typed, S::Applied, "002101249"},
      {"code.A.capcode", "1933313", typed, S::Corrected, "1933312"},
      {"code.B.capcode", "1234565", typed, S::Refused, "1234561"}, // F holds it
      {"code.A.time", "0", typed, S::Corrected, "1"},
      {"code.A.time", "123", typed, S::Refused, "25"},
      {"code.A.time", "1a", typed, S::Refused, "25"},
      {"code.A.cadence", "1111", typed, S::Corrected, "01010101"},
      {"code.A.vibrate", "false", typed, S::Applied, "0"},
      {"code.A.vibrate", "2", typed, S::Refused, "1"},
      {"code.A.alert_time", "1.00 Sec.", typed, S::Refused, "4.00 Sec."},
      {"serial_number", "CVAFABC123", gates, S::Refused, "0000000000"},
      {"out_of_range.timer", "33", typed, S::Corrected, "30"},
      {"frequency", "930.5", typed, S::Applied, "930.5000"},
      {"code.C.capcode", "5000", typed, S::Refused, "1234562"},
      {"code.C.capcode", "5000", gates, S::Applied, "0005000"},
      {"set.C.time", "9", gates, S::Applied, "9"},
      {"set.B.extend.5.function", "Alert X3", typed, S::Refused, "Default Alert"},
      {"set.B.extend.5.function", "Alert X3", gates, S::Applied, "Alert X3"},
      {"set.B.extend.5.function", "Alert X99", gates, S::Refused, "Default Alert"},
      {"set.A.voice_segment", "Voice Segment#2", gates, S::Refused, "Voice Segment#1"},
      {"set.A.repeat", "", typed, S::Corrected, "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    const Image before = model.codeplug.WorkingImage;
    const std::string gatesBefore =
        Read("code.C.enabled") + Read("code.B.default_alert") + Read("set.B.extend.5.enabled");
    const ApplyOutcome r = Apply(c.name, c.value, c.mode);
    EXPECT_EQ(r.status, c.status) << r.reason;
    EXPECT_EQ(Read(c.name), c.stored);
    // Gates opened for an entry are closed again; a refusal leaves the image as it was.
    EXPECT_EQ(Read("code.C.enabled") + Read("code.B.default_alert") +
                  Read("set.B.extend.5.enabled"),
              gatesBefore);
    if (c.status == S::Refused) {
      EXPECT_EQ(model.codeplug.WorkingImage, before);
    }
    model.codeplug.WorkingImage = before;
  }
  // The function of a slot that stays off went in with the slot's enable bit clear.
  ASSERT_EQ(Apply("set.B.extend.5.function", "Alert X3", ApplyMode::OpenGates).status,
            ApplyOutcome::Applied);
  EXPECT_EQ(model.codeplug.WorkingImage[map::AlertBlock(2) + map::kSetExtendedIds + 5], 0x03);
}

TEST_F(NamedFieldsTest, CodesMayShiftOrTradeTheirAddressesButNotShareThem) {
  using S = ApplyOutcome::Status;
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, const char*>> values; // default: A-F 1234560-1234565
    std::vector<S> outcomes;
  };
  const Case cases[] = {
      {"shift up",
       {{"code.A.capcode", "1234561"},
        {"code.B.capcode", "1234562"},
        {"code.C.enabled", "1"},
        {"code.C.capcode", "1234563"}},
       {S::Applied, S::Applied, S::Applied, S::Applied}},
      {"trade",
       {{"code.F.capcode", "1234560"}, {"code.A.capcode", "1234565"}},
       {S::Applied, S::Applied}},
      {"share", {{"code.A.capcode", "1234565"}}, {S::Refused}},
  };
  const Image start = model.codeplug.WorkingImage;
  for (const Case& c : cases) {
    model.codeplug.WorkingImage = start;
    std::vector<FieldEntry> entries;
    for (const auto& [name, value] : c.values)
      entries.push_back({FindNamedField(name), value, {}});
    ApplyNamedFields(model, entries);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].outcome.status, c.outcomes[i])
          << c.what << " " << entries[i].field->name;
      if (c.outcomes[i] == S::Applied) {
        EXPECT_EQ(Read(entries[i].field->name), entries[i].value) << c.what;
      }
    }
  }
}

} // namespace
} // namespace pw::ui
