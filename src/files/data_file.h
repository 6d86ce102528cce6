// SPDX-License-Identifier: GPL-3.0-or-later
// The codeplug data file: the whole 2048-byte image as Motorola S-record text, the checks a
// loaded file must pass before it replaces the working image, and the preparation of the
// working image before it is saved. Pure functions: the form model shows the dialogs and
// the messages these return.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/message.h"
#include "codeplug/codeplug.h"

namespace pw {

// ---- File name ----------------------------------------------------------------------------
inline constexpr std::string_view kDataFileExtension = ".dat";

// ---- S-record text ------------------------------------------------------------------------
// Module name carried by the S0 and S9 records (the loader never reads it).
inline constexpr std::string_view kModuleName = "PWCODE";
inline constexpr int kDataRecords = 128; // 16 image bytes each

// S0, 128 S1 records in address order, S9; every line ended CR LF, upper-case hex.
std::string WriteDataFile(const Image& image);

// Reads the 128 data records into an image. Text around the records is skipped; a record
// whose checksum differs from the one the writer would produce for its place (also a
// missing or cut record) fails the whole file.
std::optional<Image> ParseDataFile(std::string_view text);

// ---- Load ---------------------------------------------------------------------------------
// The outcome of the checks on a file image. When ok, image is what replaces the working
// image (pager-ID pair already repaired where the file asks for it); otherwise message is
// what the user sees and nothing may change.
struct LoadedFile {
  bool ok = false;
  Message message;
  bool resetGauge = false; // the block checksum failure also resets CGauge1
  Image image{};
  int bandFamily = 0;
  int subBand = 0;
  int patchVersion = 0;
  std::string versionText = "000000"; // the file's six version digits
};

// Checks a parsed file image: pager ID, version, band, patch marker, header and block.
LoadedFile CheckFileImage(const Image& fileImage);
// Parses the text and checks the result.
LoadedFile LoadDataFile(std::string_view text);
// Makes an accepted file the working codeplug. Does nothing when !file.ok.
void AcceptLoadedFile(Codeplug& cp, const LoadedFile& file);

// "R" followed by the six version digits, for lblCodeplug_Version.
std::string CodeplugVersionLabel(std::string_view versionText);
// The six version digits of an image, or "000000" when any of them is not a digit.
std::string ImageVersionText(const Image& image);


// ---- Save ---------------------------------------------------------------------------------
// Before the save dialog opens: forced option bytes and this program's version stamp.
void PrepareForSave(Codeplug& cp);

// After a name was chosen: checks the patch area and brings the working image into the form
// it is saved in (fill after the patch block, fixed ranges, battery thresholds 9-12, timer
// scale flag, firmware version, page checksums, pager-ID pair). Returns false, with the
// refusal appended to out and nothing further changed, when the patch area is damaged;
// messages of the battery rule are appended too.
bool PrepareImageForSave(Codeplug& cp, Messages& out);

// Whether the last part of a path ends in ".dat", in any case (X.Dat, X.DAT, X.dat).
bool HasDataFileExtension(const std::string& path);
// The name a codeplug is saved under: a name with the ".dat" extension in any case is kept as
// the user chose it; any other extension is replaced by ".dat", in the same folder.
std::string DataFileName(std::string_view chosen);

// The Yes/No question asked before an existing file is replaced (No is the default).
struct OverwriteQuestion {
  Message message;
  bool defaultNo = true;
};
OverwriteQuestion OverwriteQuestionFor(std::string_view fullName);

} // namespace pw
