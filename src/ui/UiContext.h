#pragma once
// What the window's sections share: the program flags, the parameter image, the project
// document and the status bar. Owned by MainWindow, passed to each section by reference.

namespace mzr {

struct AppState;
class ParameterImage;
class ProjectDocument;
class StatusBar;

struct UiContext {
  AppState& state;
  ParameterImage& image;
  ProjectDocument& document;
  StatusBar& statusBar;
};

}  // namespace mzr
