// SPDX-License-Identifier: GPL-3.0-or-later
// The capcode pools dialog's model against a SQLite ledger, and the window's File > Setup >
// Capcode Pools...: the choice kept in the user's settings and named in the foot.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/clock.h"
#include "sim/in_process_port.h"
#include "sim/pager_firmware.h"
#include "support/scripted_host.h"
#include "support/scripted_shell.h"
#include "ui/capcode_pools.h"
#include "ui/form_model.h"
#include "ui/main_controls.h"
#include "ui/user_settings.h"

namespace pw::ui {
namespace {

namespace fs = std::filesystem;
using Items = std::vector<std::string>;

PoolSelection Pick(std::string a, std::string b = {}, bool reassign = false) {
  PoolSelection s;
  s.pools[0] = std::move(a);
  s.pools[1] = std::move(b);
  s.reassign = reassign;
  return s;
}

class CapcodePoolsTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("pagewright-pools-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "config" / "pagewright");
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    url = "sqlite:" + (dir / "shop.sqlite3").string();
    ledger::Ledger::Opened opened = ledger::Ledger::Open(url);
    ASSERT_TRUE(opened.ledger) << opened.message;
    shop = std::move(opened.ledger);
    Add("Main", 'A', 1000000, 1000009);
    Add("Spare", 'A', 1000100, 1000104);
    Add("Night", 'B', 1500000, 1500002);
    Add("Old", 'C', 1600000, 1600000);
    std::string error;
    ASSERT_TRUE(shop->RetirePool("Old", &error)) << error;
  }
  void TearDown() override {
    shop.reset();
    fs::remove_all(dir);
  }
  void Add(const std::string& name, char code, std::int64_t first, std::int64_t last) {
    std::int64_t added = 0;
    std::string error;
    ASSERT_TRUE(shop->AddPool(name, code, {{first, last}}, &added, &error)) << error;
  }
  fs::path Conf() const { return dir / "config" / "pagewright" / "pagewright.conf"; }
  std::string ConfText() const {
    std::stringstream s;
    s << std::ifstream(Conf()).rdbuf();
    return s.str();
  }
  // A window on these settings, with the simulated pager on its line.
  std::unique_ptr<FormModel> Window(const std::string& conf) {
    std::ofstream(Conf()) << conf;
    auto model = std::make_unique<FormModel>(
        host, shell, clock,
        [this](int, Host&) { return std::make_unique<sim::InProcessPagerPort>(pager, clock); },
        dir.string());
    model->UseUserSettings(UserSettings::DefaultPath());
    model->FormCreate();
    model->FormShow();
    return model;
  }

  fs::path dir;
  std::string url;
  std::unique_ptr<ledger::Ledger> shop;
  test::ScriptedHost host;
  test::ScriptedShell shell;
  VirtualClock clock;
  sim::PagerFirmware pager;
};

// Each code offers "(none)" and the pools of its letter that are not retired, with their free
// count; a stored pool that is retired or gone is dropped, the others are chosen again.
TEST_F(CapcodePoolsTest, TheDialogOffersEachLettersPoolsAndKeepsOnlyWhatItStillOffers) {
  struct Case {
    const char* what;
    PoolSelection current;
    std::array<int, 6> index;
    PoolSelection chosen;
  };
  PoolSelection retired = Pick("Gone", "", true);
  retired.pools[2] = "Old";
  const Case cases[] = {
      {"nothing chosen", {}, {}, {}},
      {"pools chosen before", Pick("Spare", "Night", true), {2, 1}, Pick("Spare", "Night", true)},
      {"a pool gone, another retired", retired, {}, {}},
      {"a pool of another letter", Pick("Night"), {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CapcodePoolsModel model(shop.get(), c.current);
    EXPECT_EQ(model.Status(), "Ledger: " + url);
    EXPECT_TRUE(model.Offers());
    EXPECT_EQ(model.Items(0), (Items{"(none)", "Main (10 free)", "Spare (5 free)"}));
    EXPECT_EQ(model.Items(1), (Items{"(none)", "Night (3 free)"}));
    EXPECT_EQ(model.Items(2), Items{"(none)"}); // Old is retired
    for (int k = 0; k < 6; ++k)
      EXPECT_EQ(model.Index(k), c.index[std::size_t(k)]) << k;
    EXPECT_EQ(model.Chosen(), c.chosen);
  }

  CapcodePoolsModel model(shop.get(), {});
  model.Choose(0, 1);
  model.Choose(1, 7); // beyond the list: none
  model.Choose(2, 1);
  model.SetReassign(true);
  EXPECT_EQ(model.Chosen(), Pick("Main", "", true));
  model.Choose(0, 0); // reassigning nothing is no choice
  EXPECT_EQ(model.Chosen(), PoolSelection{});
}

// The window restores the stored pools at its start, shows them in its foot, and stores what
// the dialog confirms; Cancel changes nothing.
TEST_F(CapcodePoolsTest, TheWindowRestoresStoresAndShowsTheChoice) {
  std::unique_ptr<FormModel> window = Window("ledger=" + url + "\npool.A=Spare\npool.B=Gone\n");
  const Control& foot = window->controls["lblPools"];
  EXPECT_TRUE(foot.visible);
  EXPECT_EQ(foot.caption, "Pools: A=Spare B=Gone");
  EXPECT_EQ(window->PoolChoice(), Pick("Spare", "Gone").pools);

  struct Step {
    const char* what;
    int a, b; // the items chosen for codes A and B
    bool reassign, ok;
    PoolSelection chosen;
    const char* label;
  };
  const PoolSelection both = Pick("Main", "Night", true);
  const Step steps[] = {
      {"Main and Night", 1, 1, true, true, both, "Pools: A=Main B=Night, reassign"},
      {"cancelled", 0, 0, false, false, both, "Pools: A=Main B=Night, reassign"},
      {"none", 0, 0, true, true, {}, ""},
      {"Spare alone", 2, 0, false, true, Pick("Spare"), "Pools: A=Spare"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    shell.onCapcodePools = [&](CapcodePoolsModel& m) {
      m.Choose(0, s.a);
      m.Choose(1, s.b);
      m.SetReassign(s.reassign);
      return s.ok;
    };
    window->Click("CapcodePools1");
    EXPECT_EQ(foot.caption, s.label);
    EXPECT_EQ(foot.visible, *s.label != '\0');
    // A window started now finds the same choice.
    std::unique_ptr<FormModel> next = Window(ConfText());
    for (const FormModel* w : {window.get(), next.get()}) {
      EXPECT_EQ(w->PoolChoice(), s.chosen.pools);
      EXPECT_EQ(w->PoolReassign(), s.chosen.reassign);
    }
    EXPECT_EQ(next->controls["lblPools"].caption, s.label);
    EXPECT_EQ(ConfText().find("pool.A=") != std::string::npos, s.chosen.Any());
  }
  EXPECT_TRUE(host.shown.empty());
}

// A ledger that cannot be opened is not stood in for by the user's own file here: the pools
// of that file are not the shop's.
TEST_F(CapcodePoolsTest, TheWindowOffersNoPoolsWhenItsLedgerCannotBeOpened) {
  {
    // The user's own ledger has a pool of its own.
    fs::create_directories(dir / "data" / "pagewright");
    ledger::Ledger::Opened own = ledger::Ledger::Open({});
    ASSERT_TRUE(own.ledger) << own.message;
    std::int64_t added = 0;
    std::string error;
    ASSERT_TRUE(own.ledger->AddPool("Local", 'A', {{1200000, 1200009}}, &added, &error)) << error;
  }
  std::unique_ptr<FormModel> window = Window("ledger=shop-ledger\npool.A=Local\n");
  EXPECT_EQ(window->controls["lblPools"].caption, "Pools: A=Local");
  int shown = 0;
  shell.onCapcodePools = [&](CapcodePoolsModel& m) {
    ++shown;
    EXPECT_FALSE(m.Offers());
    EXPECT_EQ(m.Items(0), Items{"(none)"});
    EXPECT_EQ(m.Status().rfind("No ledger can be opened, so no pool can be chosen.\nCannot open "
                               "the ledger shop-ledger: ",
                               0),
              0u)
        << m.Status();
    return true;
  };
  window->Click("CapcodePools1");
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(window->controls["lblPools"].visible);
  EXPECT_EQ(window->PoolChoice(), PoolSelection{}.pools);
}

// F4 takes the next free capcodes of the chosen pools for the pager on the line, or its own
// again unless Reassign is ticked; the code edits show them and the ledger holds them as used.
TEST_F(CapcodePoolsTest, AProgramTakesItsCapcodesFromTheChosenPools) {
  std::unique_ptr<FormModel> window = Window("ledger=" + url + "\npool.A=Spare\npool.B=Night\n");
  window->Click("btnF3Read");
  struct Run {
    bool reassign;
    const char *a, *b;
  };
  const Run runs[] = {
      {false, "1000100", "1500000"}, {false, "1000100", "1500000"}, {true, "1000101", "1500001"}};
  for (const Run& r : runs) {
    shell.onCapcodePools = [&](CapcodePoolsModel& m) {
      m.SetReassign(r.reassign);
      return true;
    };
    window->Click("CapcodePools1");
    window->Click("btnF4Program");
    ASSERT_TRUE(window->LastTransactionOk()) << host.shown.back().message.text;
    EXPECT_EQ(window->controls.Text(CodeRows()[0].code), r.a);
    EXPECT_EQ(window->controls.Text(CodeRows()[1].code), r.b);
  }
  const std::string serial = window->LastOutcome().serialNumber;
  std::vector<std::string> used;
  for (const ledger::PoolCapcode& c : shop->PoolCapcodes("", {ledger::kCapcodeUsed}))
    used.push_back(std::to_string(c.capcode) + " " + c.pool + " " + c.serialNumber);
  EXPECT_EQ(used, (Items{"1000101 Spare " + serial, "1500001 Night " + serial}));
}

} // namespace
} // namespace pw::ui
