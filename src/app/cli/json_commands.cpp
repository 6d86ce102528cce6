// SPDX-License-Identifier: GPL-3.0-or-later
// export and import: every named field of a codeplug as a JSON document a person can review,
// nested by code and alert set, and back into a data file through the fields' rules.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <set>

#include "app/cli/cli.h"
#include "base/echo.h"
#include "base/version.h"
#include "codeplug/memory_map.h"
#include "files/file_io.h"
#include "ui/named_fields.h"

namespace pw::cli {

namespace {

using Json = nlohmann::ordered_json;
using ui::ApplyOutcome;
using ui::FieldType;
using ui::NamedField;

// What the document says about itself rather than about the codeplug.
constexpr const char* kProgramVersionKey = "program_version";
constexpr const char* kSoftwareStampKey = "software_stamp";
constexpr const char* kCodeplugStampKey = "codeplug_stamp";

bool IsDescriptionKey(const std::string& name) {
  return name == kProgramVersionKey || name == kSoftwareStampKey || name == kCodeplugStampKey;
}

bool AllDigits(const std::string& s) {
  if (s.empty() || s.size() > 18)
    return false;
  for (char c : s)
    if (c < '0' || c > '9')
      return false;
  return true;
}

Json ToJson(const NamedField& f, const std::string& value) {
  if (f.type == FieldType::Flag)
    return value == "1";
  if (f.type == FieldType::Number && AllDigits(value))
    return std::stoll(value);
  return value;
}

// The value as it would be typed into the field's control; empty when the JSON type does not
// fit the field.
std::optional<std::string> FromJson(const NamedField& f, const Json& v) {
  switch (f.type) {
  case FieldType::Flag:
    if (v.is_boolean())
      return v.get<bool>() ? "1" : "0";
    break;
  case FieldType::Number:
    if (v.is_number_unsigned())
      return std::to_string(v.get<std::uint64_t>());
    if (v.is_string())
      return v.get<std::string>();
    break;
  case FieldType::Decimal:
    if (v.is_string())
      return v.get<std::string>();
    if (v.is_number())
      return v.dump();
    break;
  case FieldType::Choice:
    if (v.is_string())
      return v.get<std::string>();
    if (v.is_number_unsigned())
      return std::to_string(v.get<std::uint64_t>());
    break;
  case FieldType::Text:
    if (v.is_string())
      return v.get<std::string>();
    break;
  }
  return std::nullopt;
}

const char* TypeWord(FieldType type) {
  switch (type) {
  case FieldType::Flag:
    return "true or false";
  case FieldType::Number:
    return "a whole number";
  case FieldType::Decimal:
    return "a decimal number";
  case FieldType::Choice:
    return "one of its items";
  case FieldType::Text:
    return "a string";
  }
  return "a value";
}

// A codeplug document nests five levels at most (set.A.extend.5.function); anything deeper is
// refused while it is read, before it costs time or memory.
constexpr std::size_t kMaxJsonDepth = 8;

// The leading parts of the fields' names ("set", "set.A", "set.A.extend", ...): the objects
// a document holds.
const std::set<std::string>& FieldGroups() {
  static const std::set<std::string> groups = [] {
    std::set<std::string> all;
    for (const NamedField& f : ui::NamedFields())
      for (std::size_t dot = f.name.find('.'); dot != std::string::npos;
           dot = f.name.find('.', dot + 1))
        all.insert(f.name.substr(0, dot));
    return all;
  }();
  return groups;
}

// Reads a document into its leaves under their dotted names ("code.A.time" whether written
// so or nested). Refuses a key given twice in an object, a name given twice in either form,
// and nesting deeper than kMaxJsonDepth. A part of the document under a name no field begins
// with is kept as that one name (and refused later) without looking inside; an array is a
// leaf of its own, which no field takes.
class DocumentReader final : public nlohmann::json_sax<Json> {
public:
  std::map<std::string, Json> leaves;
  std::string error;   // why the reading stopped
  bool syntax = false; // the text is no JSON at all
  bool notObject = false;

  bool null() override { return Leaf(Json()); }
  bool boolean(bool v) override { return Leaf(v); }
  bool number_integer(number_integer_t v) override { return Leaf(v); }
  bool number_unsigned(number_unsigned_t v) override { return Leaf(v); }
  bool number_float(number_float_t v, const string_t&) override { return Leaf(v); }
  bool string(string_t& v) override { return Leaf(std::move(v)); }
  bool binary(binary_t&) override { return Leaf(Json()); }

  bool start_object(std::size_t) override { return Open(Json::object(), false); }
  bool start_array(std::size_t) override { return Open(Json::array(), true); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool key(string_t& k) override {
    if (skipped_ > 0)
      return true;
    Frame& f = frames_.back();
    if (!f.keys.insert(k).second)
      return Fail(EchoText(Name(k)) + " is given twice");
    key_ = std::move(k);
    return true;
  }

  bool parse_error(std::size_t, const std::string& token,
                   const nlohmann::detail::exception& e) override {
    std::string what = e.what();
    if (const std::size_t at = what.find("] ");
        what.rfind("[json.exception", 0) == 0 && at != std::string::npos)
      what.erase(0, at + 2);
    // The lexer quotes the text it stopped at whole; it is shown as any input is.
    if (const std::size_t at = what.rfind("'" + token + "'");
        !token.empty() && at != std::string::npos)
      what.replace(at + 1, token.size(), EchoText(token));
    error = what;
    syntax = true;
    return false;
  }

private:
  struct Frame {
    std::size_t pathLength = 0; // of path_ before this object was entered
    std::set<std::string> keys;
  };

  std::string Name(const std::string& k) const { return path_.empty() ? k : path_ + "." + k; }

  bool Fail(std::string why) {
    error = std::move(why);
    return false;
  }

  bool Leaf(Json v) {
    if (skipped_ > 0)
      return true;
    if (frames_.empty()) {
      notObject = true;
      return false;
    }
    const std::string name = Name(key_);
    if (!leaves.emplace(name, std::move(v)).second)
      return Fail(EchoText(name) + " is given twice");
    return true;
  }

  bool Open(Json kind, bool array) {
    if (++depth_ > kMaxJsonDepth)
      return Fail("nests " + std::to_string(depth_) + " levels deep; a codeplug document " +
                  "nests at most " + std::to_string(kMaxJsonDepth));
    if (skipped_ > 0) {
      ++skipped_;
      return true;
    }
    if (frames_.empty()) {
      if (array) {
        notObject = true;
        return false;
      }
      frames_.push_back({});
      return true;
    }
    const std::string name = Name(key_);
    if (array || !FieldGroups().count(name)) {
      if (!Leaf(std::move(kind)))
        return false;
      skipped_ = 1;
      return true;
    }
    frames_.push_back({path_.size(), {}});
    path_ = name;
    return true;
  }

  bool Close() {
    --depth_;
    if (skipped_ > 0) {
      --skipped_;
      return true;
    }
    path_.resize(frames_.back().pathLength);
    frames_.pop_back();
    return true;
  }

  std::vector<Frame> frames_;
  std::string path_; // the dotted name of the object being read
  std::string key_;
  std::size_t depth_ = 0;
  std::size_t skipped_ = 0; // levels inside a part that is kept whole
};

constexpr const char* kSerialNumberField = "serial_number";

// The serial number is the pager's and read-only in the window; a document applied to the
// built-in default brings its own along, so a codeplug read from a pager survives export and
// import. Up to ten printable characters, the rest of the field zeros, as the pager keeps it.
template <class Refuse>
void CarrySerialNumber(Session& s, const std::string& value, Refuse&& refuse) {
  bool printable = value.size() <= std::size_t(map::kSerialNumberLength);
  for (char c : value)
    printable = printable && c >= 0x20 && c < 0x7F;
  if (!printable) {
    refuse(std::string(kSerialNumberField) + "=" + EchoText(value) +
           ": holds at most ten letters and digits");
    return;
  }
  for (std::size_t i = 0; i < std::size_t(map::kSerialNumberLength); ++i)
    s.model.codeplug.At(map::kSerialNumber + i) = i < value.size() ? std::uint8_t(value[i]) : 0;
}

Json DocumentOf(Session& s) {
  Json doc;
  doc[kProgramVersionKey] = ProgramVersion();
  doc[kSoftwareStampKey] = std::string(kSoftwareStamp);
  doc[kCodeplugStampKey] = s.model.codeplug.StampText();
  for (const ui::FieldReading& r : ui::ReadNamedFields(s.model)) {
    if (!r.field->inImage)
      continue;
    Json* node = &doc;
    const std::string& name = r.field->name;
    std::size_t from = 0;
    for (std::size_t dot; (dot = name.find('.', from)) != std::string::npos; from = dot + 1)
      node = &(*node)[name.substr(from, dot - from)];
    (*node)[name.substr(from)] = ToJson(*r.field, r.value);
  }
  return doc;
}

} // namespace

int ApplyJsonDocument(Session& s, const std::string& text, const std::string& source,
                      bool carrySerialNumber) {
  DocumentReader reader;
  if (!Json::sax_parse(text, &reader) || !reader.error.empty() || reader.notObject) {
    Complain(source + (reader.notObject ? " is not a JSON object"
                       : reader.syntax  ? " is not a JSON document: " + reader.error
                                        : ": " + reader.error));
    return kExitUsage;
  }
  const std::map<std::string, Json>& given = reader.leaves;

  int status = kExitOk;
  auto refuse = [&](const std::string& text) {
    Complain(source + ": " + text);
    status = kExitUsage;
  };
  for (const auto& [name, value] : given) {
    const NamedField* f = ui::FindNamedField(name);
    if (IsDescriptionKey(name))
      continue;
    if (!f || f->name != name)
      refuse(EchoText(name) + " is not a field of the codeplug");
    else if (!f->inImage)
      refuse(name + " is not kept in a data file");
  }

  const std::size_t messagesBefore = s.host.shown.size();
  std::vector<ui::FieldEntry> entries;
  std::vector<std::pair<const NamedField*, std::string>> readOnly;
  for (const NamedField& f : ui::NamedFields()) {
    auto it = given.find(f.name);
    if (it == given.end() || !f.inImage)
      continue;
    const std::optional<std::string> value = FromJson(f, it->second);
    if (!value)
      refuse(f.name + " takes " + TypeWord(f.type));
    else if (carrySerialNumber && f.name == kSerialNumberField)
      CarrySerialNumber(s, *value, refuse);
    else if (f.access != ui::FieldAccess::Value)
      readOnly.emplace_back(&f, *value);
    else
      entries.push_back({&f, *value, {}});
  }
  ui::ApplyNamedFields(s.model, entries);
  for (const ui::FieldEntry& e : entries) {
    if (e.outcome.status == ApplyOutcome::Refused) {
      refuse(e.field->name + "=" + EchoText(e.value) + ": " + e.outcome.reason);
    } else if (e.outcome.status == ApplyOutcome::Corrected) {
      Complain(source + ": " + e.field->name + "=" + EchoText(e.value) + " was stored as " +
               EchoText(e.outcome.stored));
      if (status == kExitOk)
        status = kExitFailed;
    }
  }
  // Read-outs and read-only fields keep what the image gives them; say so where the document
  // wanted something else.
  if (!readOnly.empty()) {
    const std::vector<ui::FieldReading> now = ui::ReadNamedFields(s.model);
    for (const auto& [f, value] : readOnly)
      for (const ui::FieldReading& r : now)
        if (r.field == f && !ui::SameFieldValue(*f, r.value, value)) {
          Complain(source + ": " + f->name + " is read-only and stays " + r.value);
          if (status == kExitOk)
            status = kExitFailed;
        }
  }
  if (status == kExitOk && s.host.shown.size() != messagesBefore)
    status = kExitFailed;
  return status;
}

int RunExport(const ExportOptions& o) {
  Session s;
  if (!LoadCodeplug(s, o.file))
    return kExitFailed;
  const std::string text = DocumentOf(s).dump(2) + "\n";
  return WriteOutput(o.out.empty() ? "-" : o.out, text, false) ? kExitOk : kExitFailed;
}

int RunImport(const ImportOptions& o) {
  if (IsStandardStream(o.file) && IsStandardStream(o.base)) {
    Complain("standard input can be read only once: name a file for the document or --base");
    return kExitUsage;
  }
  FileLock lock;
  if (!IsStandardStream(o.out) && !LockForUpdate(lock, o.out))
    return kExitFailed;
  const std::optional<std::string> text = ReadInput(o.file);
  if (!text)
    return kExitFailed;
  Session s;
  if (!o.base.empty() && !LoadCodeplug(s, o.base))
    return kExitFailed;
  const int status = ApplyJsonDocument(s, *text, StreamName(o.file), o.base.empty());
  if (status == kExitUsage) {
    Complain(StreamName(o.out, true) + " was not written");
    return status;
  }
  if (!SaveCodeplug(s, o.out))
    return kExitFailed;
  return status;
}

} // namespace pw::cli
