// SPDX-License-Identifier: GPL-3.0-or-later
// What the system tells the user: a text, an optional caption and an icon.
#pragma once

#include <string>
#include <vector>

namespace pw {

enum class Icon { None, Error, Warning, Information, Question };

struct Message {
  std::string text;
  std::string caption; // empty: a plain box that carries the application title
  Icon icon = Icon::None;
  std::string detail{}; // what the system said, shown below the text in the same box

  bool operator==(const Message&) const = default;
};

// Rules collect the messages they would show, in order; the caller shows them.
using Messages = std::vector<Message>;

inline Message Plain(std::string text) { return Message{std::move(text), {}, Icon::None}; }

} // namespace pw
