// SPDX-License-Identifier: GPL-3.0-or-later
// Save and Load of codeplug data files from the main window.

#include "files/alert_fields.h"
#include "files/data_file.h"
#include "files/file_io.h"
#include "ui/form_model.h"

namespace pw::ui {

namespace {

FileDialogRequest DataFileDialog(const std::string& title, const std::string& dir) {
  return FileDialogRequest{title, dir, {}, {"Tavo datafile (*.Dat)", "All files (*.*)"}};
}

void ShowAll(Host& host, const Messages& messages) {
  for (const Message& m : messages) host.Show(m);
}

// Thresholds 9-12 were re-derived in the image for the save; their boxes show them again.
void RefillRederivedThresholds(Controls& controls, const Codeplug& cp) {
  static const char* const boxes[] = {"edtChargeroff", "edtRecharg", "edtLowBatteryRecovery",
                                      "edtLowBatteryWarning"};
  for (int item = 9; item <= 12; ++item) controls.SetText(boxes[item - 9], BatteryText(cp, item));
}

// The loader's checks on the very text about to be written: a codeplug this program would
// refuse to load again is never saved. Shows the loader's message when it refuses.
bool LoaderRefuses(Host& host, const std::string& text) {
  const LoadedFile reloaded = LoadDataFile(text);
  if (reloaded.ok) return false;
  host.Show(reloaded.message);
  return true;
}

// Writes the data file text of the prepared working image; with backup the file already
// there is kept as name + ".bak". A failure is shown and leaves both as they were.
bool WriteCodeplugFile(Host& host, const std::string& text, const std::string& name, bool backup) {
  const FileWriteResult written = WriteFileSafely(name, text, backup);
  if (!written.ok) host.ShowBox(written.error, "Error", Icon::Error);
  return written.ok;
}

} // namespace

bool FormModel::LoadFile(const std::string& path) {
  FileReadResult read = ReadTextFile(path);
  if (!read.ok) {
    host_.ShowBox(read.error, "Error", Icon::Error);
    return false;
  }
  return LoadText(read.text);
}

bool FormModel::LoadText(const std::string& text) {
  LoadedFile file = LoadDataFile(text);
  if (!file.ok) {
    host_.Show(file.message);
    if (file.resetGauge) host_.SetProgress(0);
    return false;
  }
  AcceptLoadedFile(codeplug, file);
  view_->RefreshActivePage();
  EnableSaveAndProgram();
  controls.SetCaption("lblCodeplug_Version", CodeplugVersionLabel(file.versionText));
  return true;
}

void FormModel::RunLoad() {
  std::optional<std::string> path =
      shell_.AskOpenFileName(DataFileDialog("Open", dialogFolder_->Initial()));
  if (!path) return;
  dialogFolder_->Remember(*path);
  LoadFile(*path);
}

std::optional<std::string> FormModel::SaveText() {
  PrepareForSave(codeplug);
  Messages messages;
  bool prepared = PrepareImageForSave(codeplug, messages);
  ShowAll(host_, messages);
  if (!prepared) return std::nullopt;
  RefillRederivedThresholds(controls, codeplug);
  std::string text = WriteDataFile(codeplug.WorkingImage);
  if (LoaderRefuses(host_, text)) return std::nullopt;
  return text;
}

bool FormModel::SaveFile(const std::string& path) {
  const std::optional<std::string> text = SaveText();
  if (!text) return false;
  if (!WriteCodeplugFile(host_, *text, path, FileExists(path))) return false;
  controls.SetCaption("lblCodeplug_Version",
                      CodeplugVersionLabel(ImageVersionText(codeplug.WorkingImage)));
  return true;
}

void FormModel::RunSave() {
  PrepareForSave(codeplug);
  FileDialogRequest request = DataFileDialog("Save As", dialogFolder_->Initial());
  for (;;) {
    std::optional<std::string> chosen = shell_.AskSaveFileName(request);
    if (!chosen) return;
    dialogFolder_->Remember(*chosen);
    Messages messages;
    bool prepared = PrepareImageForSave(codeplug, messages);
    ShowAll(host_, messages);
    if (!prepared) return;
    RefillRederivedThresholds(controls, codeplug);
    const std::string text = WriteDataFile(codeplug.WorkingImage);
    if (LoaderRefuses(host_, text)) return;
    std::string name = DataFileName(*chosen);
    // A file the save could not replace (nor back up) is refused before the user is asked
    // about it.
    if (FileWriteResult target = CheckWriteTarget(name, true); !target.ok) {
      host_.ShowBox(target.error, "Error", Icon::Error);
      return;
    }
    bool exists = FileExists(name);
    if (exists) {
      OverwriteQuestion question = OverwriteQuestionFor(name);
      if (!host_.AskYesNo(question.message, question.defaultNo)) {
        request.fileName.clear();
        continue;
      }
    }
    if (!WriteCodeplugFile(host_, text, name, exists)) return;
    controls.SetCaption("lblCodeplug_Version",
                        CodeplugVersionLabel(ImageVersionText(codeplug.WorkingImage)));
    return;
  }
}

} // namespace pw::ui
