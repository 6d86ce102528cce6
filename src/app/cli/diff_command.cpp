// SPDX-License-Identifier: GPL-3.0-or-later
// diff: what two codeplugs (data files or JSON documents) hold differently, field by field,
// then the image bytes no field explains.
#include <array>
#include <cstdio>
#include <memory>

#include "app/cli/cli.h"
#include "codeplug/memory_map.h"
#include "files/data_file.h"
#include "ui/named_fields.h"

namespace pw::cli {

namespace {

bool LooksLikeJson(const std::string& text) {
  for (char c : text) {
    if (c == '{')
      return true;
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
      return false;
  }
  return false;
}

// The codeplug of a data file, or of a JSON document applied to the built-in default. Null
// (with the reason shown) when it cannot be had.
std::unique_ptr<Session> Open(const std::string& path, Image& image) {
  auto s = std::make_unique<Session>();
  const std::optional<std::string> text = ReadInput(path);
  if (!text)
    return nullptr;
  if (LooksLikeJson(*text)) {
    if (ApplyJsonDocument(*s, *text, StreamName(path), true) == kExitUsage)
      return nullptr;
    // The image as import would save it: stamp, fixed ranges and checksums.
    PrepareForSave(s->model.codeplug);
    Messages messages;
    const bool prepared = PrepareImageForSave(s->model.codeplug, messages);
    for (const Message& m : messages)
      s->host.Show(m);
    if (!prepared)
      return nullptr;
  } else if (!s->model.LoadText(*text)) {
    return nullptr;
  }
  image = s->model.codeplug.WorkingImage;
  return s;
}

std::string Hex(const Image& image, std::size_t first, std::size_t last) {
  std::string out;
  char b[4];
  for (std::size_t a = first; a <= last; ++a) {
    std::snprintf(b, sizeof b, "%02X", image[a]);
    out += b;
  }
  return out;
}

std::size_t DifferingBytes(const Image& a, const Image& b, std::size_t first, std::size_t last) {
  std::size_t n = 0;
  for (std::size_t i = first; i <= last; ++i)
    n += a[i] != b[i];
  return n;
}

// Equal bytes inside a changed block (a patch) that do not split it into ranges.
constexpr std::size_t kJoinGap = 8;

} // namespace

int RunDiff(const DiffOptions& o) {
  if (IsStandardStream(o.a) && IsStandardStream(o.b)) {
    Complain("standard input can be read only once: name a file for A or B");
    return kExitUsage;
  }
  Image imageA{}, imageB{};
  std::unique_ptr<Session> a = Open(o.a, imageA);
  if (!a)
    return kExitUsage;
  std::unique_ptr<Session> b = Open(o.b, imageB);
  if (!b)
    return kExitUsage;

  const std::vector<ui::FieldReading> fieldsA = ui::ReadNamedFields(a->model);
  const std::vector<ui::FieldReading> fieldsB = ui::ReadNamedFields(b->model);
  std::array<bool, map::kImageSize> explained{};
  bool differ = false;
  for (std::size_t i = 0; i < fieldsA.size(); ++i) {
    const ui::NamedField& f = *fieldsA[i].field;
    if (!f.inImage || ui::SameFieldValue(f, fieldsA[i].value, fieldsB[i].value))
      continue;
    std::printf("%s: %s -> %s\n", f.name.c_str(), fieldsA[i].value.c_str(),
                fieldsB[i].value.c_str());
    differ = true;
    for (const ui::ByteSpan& span : f.bytes)
      for (std::size_t k = 0; k < span.count; ++k)
        explained[span.first + k] = true;
  }

  // Other bytes, as address ranges; checksums and the frame bitmap follow the rest and are
  // listed only when nothing else differs.
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  auto collect = [&](bool derived) {
    for (std::size_t addr = 0; addr < map::kImageSize; ++addr) {
      if (imageA[addr] == imageB[addr] || explained[addr] || ui::IsDerivedByte(addr) != derived)
        continue;
      if (!ranges.empty() && addr - ranges.back().second <= kJoinGap)
        ranges.back().second = addr;
      else
        ranges.emplace_back(addr, addr);
    }
  };
  collect(false);
  if (!differ && ranges.empty())
    collect(true);
  for (const auto& [first, last] : ranges) {
    if (last - first < 16)
      std::printf("0x%03zX-0x%03zX: %s -> %s\n", first, last, Hex(imageA, first, last).c_str(),
                  Hex(imageB, first, last).c_str());
    else
      std::printf("0x%03zX-0x%03zX: %zu of %zu bytes differ\n", first, last,
                  DifferingBytes(imageA, imageB, first, last), last - first + 1);
  }
  return differ || !ranges.empty() ? kExitFailed : kExitOk;
}

} // namespace pw::cli
