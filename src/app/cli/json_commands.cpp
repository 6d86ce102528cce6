// export and import: every named field of a codeplug as a JSON document a person can review,
// nested by code and alert set, and back into a data file through the fields' rules.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>

#include "app/cli/cli.h"
#include "base/version.h"
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

// Leaves of the document under their dotted names.
void Flatten(const Json& node, const std::string& path, std::map<std::string, const Json*>& out) {
  if (!node.is_object()) {
    out[path] = &node;
    return;
  }
  for (auto it = node.begin(); it != node.end(); ++it)
    Flatten(it.value(), path.empty() ? it.key() : path + "." + it.key(), out);
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

int ApplyJsonDocument(Session& s, const std::string& text, const std::string& source) {
  Json doc;
  try {
    doc = Json::parse(text);
  } catch (const Json::exception& e) {
    Complain(source + " is not a JSON document: " + e.what());
    return kExitUsage;
  }
  if (!doc.is_object()) {
    Complain(source + " is not a JSON object");
    return kExitUsage;
  }
  std::map<std::string, const Json*> given;
  Flatten(doc, "", given);

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
      refuse(name + " is not a field of the codeplug");
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
    const std::optional<std::string> value = FromJson(f, *it->second);
    if (!value)
      refuse(f.name + " takes " + TypeWord(f.type));
    else if (f.access != ui::FieldAccess::Value)
      readOnly.emplace_back(&f, *value);
    else
      entries.push_back({&f, *value, {}});
  }
  ui::ApplyNamedFields(s.model, entries);
  for (const ui::FieldEntry& e : entries) {
    if (e.outcome.status == ApplyOutcome::Refused) {
      refuse(e.field->name + "=" + e.value + ": " + e.outcome.reason);
    } else if (e.outcome.status == ApplyOutcome::Corrected) {
      Complain(source + ": " + e.field->name + "=" + e.value + " was stored as " +
               e.outcome.stored);
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
  if (!s.model.LoadFile(o.file))
    return kExitFailed;
  const std::string text = DocumentOf(s).dump(2) + "\n";
  if (o.out.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
  }
  const FileWriteResult w = WriteFileSafely(o.out, text, false);
  if (!w.ok)
    std::fprintf(stderr, "%s\n", w.error.c_str());
  return w.ok ? kExitOk : kExitFailed;
}

int RunImport(const ImportOptions& o) {
  const FileReadResult read = ReadTextFile(o.file);
  if (!read.ok) {
    std::fprintf(stderr, "%s\n", read.error.c_str());
    return kExitFailed;
  }
  FileLock lock;
  if (!LockForUpdate(lock, o.out))
    return kExitFailed;
  Session s;
  if (!o.base.empty() && !s.model.LoadFile(o.base))
    return kExitFailed;
  const int status = ApplyJsonDocument(s, read.text, o.file);
  if (status == kExitUsage) {
    Complain(o.out + " was not written");
    return status;
  }
  if (!s.model.SaveFile(o.out))
    return kExitFailed;
  return status;
}

} // namespace pw::cli
