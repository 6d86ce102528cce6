// SPDX-License-Identifier: GPL-3.0-or-later
// A Host for tests: records every message box, question, gauge value and control text, and
// answers questions from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/host.h"

namespace pw::test {

struct Shown {
  enum class Kind { Box, RetryCancel, YesNo } kind;
  Message message;
  bool defaultNo = false;
};

class ScriptedHost : public Host {
public:
  void Show(const Message& m) override {
    if (onShow)
      onShow(m); // while the box is up
    shown.push_back({Shown::Kind::Box, m});
  }
  bool AskRetryCancel(const Message& m) override {
    shown.push_back({Shown::Kind::RetryCancel, m});
    return Next(retryAnswers);
  }
  bool AskYesNo(const Message& m, bool defaultNo) override {
    shown.push_back({Shown::Kind::YesNo, m, defaultNo});
    return Next(yesAnswers);
  }
  void SetProgress(int percent) override {
    progress = percent;
    progressHistory.push_back(percent);
  }
  int Progress() const override { return progress; }
  void PumpMessages() override { ++pumps; }
  void SetText(const std::string& control, const std::string& text) override {
    texts[control] = text;
  }
  std::string Text(const std::string& control) const override {
    auto it = texts.find(control);
    return it == texts.end() ? std::string() : it->second;
  }

  // The texts of all boxes and questions, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const Shown& s : shown) out.push_back(s.message.text);
    return out;
  }
  const Message* Last() const { return shown.empty() ? nullptr : &shown.back().message; }
  void Clear() { shown.clear(); }

  std::vector<Shown> shown;
  std::deque<bool> retryAnswers; // true = Retry; an empty script answers Cancel
  std::deque<bool> yesAnswers;   // true = Yes; an empty script answers No
  std::map<std::string, std::string> texts;
  int progress = 0;
  std::vector<int> progressHistory;
  int pumps = 0;
  std::function<void(const Message&)> onShow;

private:
  static bool Next(std::deque<bool>& q) {
    if (q.empty()) return false;
    bool b = q.front();
    q.pop_front();
    return b;
  }
};

} // namespace pw::test
