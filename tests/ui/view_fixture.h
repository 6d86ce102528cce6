// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls, the default codeplug and a personality view over them, with the
// small helpers a user's typing and clicking need.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "codeplug/codeplug.h"
#include "support/scripted_host.h"
#include "ui/controls.h"
#include "ui/main_controls.h"
#include "ui/personality_view.h"
#include "ui/view_state.h"

namespace pw::ui::test {

class ViewTest : public ::testing::Test {
protected:
  ViewTest() {
    BuildMainControls(controls);
    view = std::make_unique<PersonalityView>(controls, codeplug, host, state);
  }

  // Types the characters one by one as the edit would take them.
  void Type(const std::string& name, std::string_view keys) {
    for (char ch : keys) {
      if (!view->KeyPress(name, ch)) continue;
      Control& c = controls[name];
      if (ch == 8) {
        if (!c.text.empty()) c.text.pop_back();
      } else if (c.maxLength == 0 || int(c.text.size()) < c.maxLength) {
        c.text += ch;
      }
    }
  }
  // Replaces the text and leaves the field.
  void EnterText(const std::string& name, const std::string& text) {
    controls.SetText(name, text);
    view->Exit(name);
  }
  void Tick(const std::string& name) {
    controls[name].checked = !controls[name].checked;
    view->Click(name);
  }
  void Choose(const std::string& name, int item) {
    controls[name].itemIndex = item;
    view->Click(name);
  }
  void ShowPage(int page) {
    state.ActivePage = page;
    view->RefreshActivePage();
  }
  std::string Help() const { return controls["lblHelp1"].caption; }
  std::uint8_t Byte(std::size_t offset) const { return codeplug.WorkingImage[offset]; }

  Controls controls;
  Codeplug codeplug;
  pw::test::ScriptedHost host;
  ViewState state;
  std::unique_ptr<PersonalityView> view;
};

} // namespace pw::ui::test
