// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a manual page with the named-field list put in at the line ".\" FIELD LIST", so the
// page lists exactly the fields show, set and import know. A code letter A-F in a name is
// shown as X, an extended-ID slot 0-F as N.
// Usage: field_list TEMPLATE OUTPUT
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ui/named_fields.h"

namespace {

using pw::ui::FieldAccess;
using pw::ui::FieldType;
using pw::ui::NamedField;

bool IsCode(const std::string& part) {
  return part.size() == 1 && part[0] >= 'A' && part[0] <= 'F';
}
bool IsSlot(const std::string& part) {
  return part.size() == 1 && ((part[0] >= '0' && part[0] <= '9') || IsCode(part));
}

// The name's parts, each with whether it stands for a code (X) or a slot (N).
std::vector<std::string> Pattern(const std::string& name) {
  std::vector<std::string> parts;
  std::istringstream in(name);
  for (std::string part; std::getline(in, part, '.');)
    parts.push_back(part);
  for (std::size_t i = 1; i < parts.size(); ++i) {
    if ((parts[i - 1] == "code" || parts[i - 1] == "set") && IsCode(parts[i]))
      parts[i] = "\x01X";
    else if (parts[i - 1] == "extend" && IsSlot(parts[i]))
      parts[i] = "\x01N";
  }
  return parts;
}

// ".BI code. X .capcode": bold name parts, the placeholders in italics.
std::string Troff(const std::vector<std::string>& parts) {
  std::vector<std::string> runs{""};
  bool italic = false;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool placeholder = parts[i][0] == '\x01';
    // The dot between two parts stays in bold.
    if (i > 0 && !italic)
      runs.back() += '.';
    if (placeholder != italic) {
      runs.push_back(italic ? "." : "");
      italic = placeholder;
    }
    runs.back() += placeholder ? parts[i].substr(1) : parts[i];
  }
  if (runs.size() == 1)
    return ".B " + runs[0];
  std::string line = ".BI";
  for (const std::string& run : runs)
    line += " " + (run.empty() ? std::string("\"\"") : run);
  return line;
}

std::string Description(const NamedField& f) {
  std::string text;
  switch (f.type) {
  case FieldType::Flag:
    text = "1 or 0";
    break;
  case FieldType::Number:
    text = "a whole number";
    break;
  case FieldType::Decimal:
    text = "a decimal number";
    break;
  case FieldType::Text:
    text = "text";
    break;
  case FieldType::Choice:
    text = "an item of its list";
    break;
  }
  if (f.access == FieldAccess::ReadOut)
    text = "read-out";
  else if (f.access == FieldAccess::ReadOnly)
    text += ", read-only";
  if (!f.inImage)
    text += ", not in a data file";
  return text;
}

std::string FieldList() {
  std::string out = ".PD 0\n";
  std::set<std::string> listed;
  for (const NamedField& f : pw::ui::NamedFields()) {
    const std::string line = Troff(Pattern(f.name));
    if (!listed.insert(line).second)
      continue;
    out += ".TP 26\n" + line + "\n" + Description(f) + "\n";
  }
  return out + ".PD\n";
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: field_list TEMPLATE OUTPUT\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::ostringstream page;
  bool inserted = false;
  for (std::string line; std::getline(in, line);) {
    if (line == ".\\\" FIELD LIST") {
      page << FieldList();
      inserted = true;
    } else {
      page << line << "\n";
    }
  }
  if (!in.eof() || !inserted) {
    std::cerr << argv[1] << ": no \".\\\" FIELD LIST\" line to replace\n";
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out << page.str();
  return out.flush() ? 0 : 1;
}
