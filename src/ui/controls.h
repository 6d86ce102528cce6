// SPDX-License-Identifier: GPL-3.0-or-later
// The store of named controls behind the windows: text, checked, enabled, visible, item
// index, maximum length. The Qt forms are a projection of this store; tests read it directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pw::ui {

enum class Kind {
  Form,
  PageControl,
  Page,
  Group,
  Edit,
  CheckBox,
  RadioGroup,
  ComboBox,
  Label,
  Button,
  ToolBar,
  ToolButton,
  Menu,      // a top-level menu or a submenu
  MenuItem,
  Separator, // a menu separator
  Gauge,
  Timer,
  RichEdit,
};

struct Control {
  std::string name;
  Kind kind = Kind::Label;
  std::string parent;   // owning control (group, page, menu); empty for top level
  std::string caption;  // caption of buttons, boxes, groups, menu items; label text
  std::string text;     // edit text
  std::string hint;     // tool-button hint
  std::string shortcut; // menu shortcut, Qt notation ("F3", "Ctrl+1", "Ctrl+Alt+T")
  std::vector<std::string> items; // radio group and combo box items
  int itemIndex = -1;
  int maxLength = 0;    // 0: unlimited
  int interval = 0;     // timer interval in ms
  bool checked = false; // check boxes, ticked menu items
  bool toggle = false;  // a menu item that switches an option: its box shows when off too
  bool enabled = true;
  bool visible = true;
  bool running = false; // timers
  bool readOnly = false;
  bool upperCase = false;
  char passwordChar = 0;
  bool utf8 = false; // caption and hint are UTF-8 (device names, "…"), not codeplug bytes
};

class Controls {
public:
  Control& Add(Control c);
  // The control of that name; an unknown name is a programming fault and aborts.
  Control& operator[](std::string_view name);
  const Control& operator[](std::string_view name) const;
  Control* Find(std::string_view name);
  const Control* Find(std::string_view name) const;
  bool Has(std::string_view name) const { return Find(name) != nullptr; }
  const std::vector<std::string>& Order() const { return order_; } // creation order
  std::vector<std::string> Children(std::string_view parent) const;

  // Visible and enabled as the user sees them: the control and every parent.
  bool Shown(std::string_view name) const;
  bool Usable(std::string_view name) const;

  // Shorthands.
  void SetText(std::string_view name, std::string text) { (*this)[name].text = std::move(text); }
  const std::string& Text(std::string_view name) const { return (*this)[name].text; }
  void SetCaption(std::string_view name, std::string caption) {
    (*this)[name].caption = std::move(caption);
  }
  void SetChecked(std::string_view name, bool on) { (*this)[name].checked = on; }
  bool Checked(std::string_view name) const { return (*this)[name].checked; }
  void SetEnabled(std::string_view name, bool on) { (*this)[name].enabled = on; }
  void SetVisible(std::string_view name, bool on) { (*this)[name].visible = on; }

private:
  std::vector<Control> controls_;
  std::vector<std::string> order_;
  std::unordered_map<std::string, std::size_t> index_;
};

} // namespace pw::ui

namespace pw::ui {

// The text a Host is asked to set or read on a named control: a label's caption, an edit's
// text. Unknown names are ignored (and read as empty).
void SetControlText(Controls& controls, const std::string& name, const std::string& text);
std::string ControlText(const Controls& controls, const std::string& name);

} // namespace pw::ui
