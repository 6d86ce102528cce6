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

} // namespace

bool FormModel::LoadFile(const std::string& path) {
  FileReadResult read = ReadTextFile(path);
  if (!read.ok) {
    host_.ShowBox(read.error, "Error", Icon::Error);
    return false;
  }
  LoadedFile file = LoadDataFile(read.text);
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

bool FormModel::SaveFile(const std::string& path) {
  PrepareForSave(codeplug);
  Messages messages;
  bool prepared = PrepareImageForSave(codeplug, messages);
  ShowAll(host_, messages);
  if (!prepared) return false;
  RefillRederivedThresholds(controls, codeplug);
  FileWriteResult written =
      WriteFileSafely(path, WriteDataFile(codeplug.WorkingImage), FileExists(path));
  if (!written.ok) {
    host_.ShowBox(written.error, "Error", Icon::Error);
    return false;
  }
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
    std::string name = DataFileName(*chosen);
    bool exists = FileExists(name);
    if (exists) {
      OverwriteQuestion question = OverwriteQuestionFor(name);
      if (!host_.AskYesNo(question.message, question.defaultNo)) {
        request.fileName.clear();
        continue;
      }
    }
    FileWriteResult written =
        WriteFileSafely(name, WriteDataFile(codeplug.WorkingImage), exists);
    if (!written.ok) {
      host_.ShowBox(written.error, "Error", Icon::Error);
      return;
    }
    controls.SetCaption("lblCodeplug_Version",
                        CodeplugVersionLabel(ImageVersionText(codeplug.WorkingImage)));
    return;
  }
}

} // namespace pw::ui
