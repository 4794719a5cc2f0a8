#pragma once
// What the window's sections share: the program flags, the parameter image, the project
// document, the status bar, the one edit operation and the whole-unit commands. Owned by
// MainWindow, passed to each section by reference; everything it names outlives the
// sections.

namespace mzr {

struct AppState;
class DeviceCommands;
class EditSender;
class ParameterImage;
class ProjectDocument;
class StatusBar;

struct UiContext {
  AppState& state;
  ParameterImage& image;
  ProjectDocument& document;
  StatusBar& statusBar;
  // Every editor stores into the image, then calls edits.Send(field, index).
  EditSender& edits;
  // Read all, download all (and the download-then-restart of the EQ copy), restart.
  DeviceCommands& commands;
};

}  // namespace mzr
