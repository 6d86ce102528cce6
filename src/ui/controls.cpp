// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/controls.h"

#include <cstdio>
#include <cstdlib>

namespace pw::ui {

Control& Controls::Add(Control c) {
  auto [it, inserted] = index_.emplace(c.name, controls_.size());
  if (!inserted) {
    std::fprintf(stderr, "control %s defined twice\n", c.name.c_str());
    std::abort();
  }
  order_.push_back(c.name);
  controls_.push_back(std::move(c));
  return controls_.back();
}

Control* Controls::Find(std::string_view name) {
  auto it = index_.find(std::string(name));
  return it == index_.end() ? nullptr : &controls_[it->second];
}

const Control* Controls::Find(std::string_view name) const {
  auto it = index_.find(std::string(name));
  return it == index_.end() ? nullptr : &controls_[it->second];
}

Control& Controls::operator[](std::string_view name) {
  if (Control* c = Find(name)) return *c;
  std::fprintf(stderr, "no control named %.*s\n", static_cast<int>(name.size()), name.data());
  std::abort();
}

const Control& Controls::operator[](std::string_view name) const {
  return const_cast<Controls&>(*this)[name];
}

std::vector<std::string> Controls::Children(std::string_view parent) const {
  std::vector<std::string> out;
  for (const Control& c : controls_)
    if (c.parent == parent) out.push_back(c.name);
  return out;
}

bool Controls::Shown(std::string_view name) const {
  for (const Control* c = Find(name); c; c = c->parent.empty() ? nullptr : Find(c->parent))
    if (!c->visible) return false;
  return true;
}

bool Controls::Usable(std::string_view name) const {
  for (const Control* c = Find(name); c; c = c->parent.empty() ? nullptr : Find(c->parent))
    if (!c->visible || !c->enabled) return false;
  return true;
}

} // namespace pw::ui

namespace pw::ui {

void SetControlText(Controls& controls, const std::string& name, const std::string& text) {
  Control* c = controls.Find(name);
  if (!c) return;
  if (c->kind == Kind::Edit || c->kind == Kind::ComboBox || c->kind == Kind::RichEdit) c->text = text;
  else c->caption = text;
}

std::string ControlText(const Controls& controls, const std::string& name) {
  const Control* c = controls.Find(name);
  if (!c) return {};
  if (c->kind == Kind::Edit || c->kind == Kind::ComboBox || c->kind == Kind::RichEdit) return c->text;
  return c->caption;
}

} // namespace pw::ui
