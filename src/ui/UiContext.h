#pragma once
// What the window's sections share: the workspace and, for brevity, its program flags,
// parameter image, project document, edit operation and whole-unit commands, and the
// window's status bar. Held by MainWindow, passed to each section by reference; everything
// it names outlives the sections.

namespace mzr {

struct AppState;
class DeviceCommands;
class EditOperation;
class ParameterImage;
class ProjectDocument;
class StatusBar;
class Workspace;

struct UiContext {
  Workspace& workspace;
  AppState& state;
  ParameterImage& image;
  ProjectDocument& document;
  StatusBar& statusBar;
  // Every editor changes the image through edits.Apply(field, index, change).
  EditOperation& edits;
  // Read all, download all (and the download-then-restart of the EQ copy), restart.
  DeviceCommands& commands;
};

}  // namespace mzr
