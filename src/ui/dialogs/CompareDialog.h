#pragma once
// The compare dialog (File > Compare...): the fields where the window's image differs from a
// project file or from the connected unit, one line each with both display texts, worded as
// `mzr4700ctl diff` words them (the same engine, model/ImageDiff), then the carried bytes.
// The unit is read into the dialog's own image, never into the window's. Choosing a line asks
// the window to show that field's control.

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

#include "model/ImageDiff.h"
#include "model/ParameterImage.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace mzr {

struct UiContext;

class CompareDialog final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(CompareDialog)

 public:
  // Asks for the file to compare with; an empty text means the user cancelled.
  using PathProvider = std::function<QString()>;

  CompareDialog(UiContext& context, QWidget* parent);

  void setPathProvider(PathProvider provider) { m_path = std::move(provider); }

  // Opens the dialog modeless, or raises it.
  void ShowModeless();
  void ApplyLanguage();

  // The buttons' work: the file the path provider gives, or the connected unit (the
  // differences appear once its image arrived).
  void CompareWithFile();
  void CompareWithFile(const QString& path);
  void CompareWithUnit();

  // What the list shows, one text per line.
  QStringList lines() const;
  QListWidget* list() const { return m_list; }

 signals:
  // A line was chosen: show the control of element.
  void showFieldRequested(const mzr::FieldElement& element);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowDifferences(const QString& otherName);
  // A caption row alone in the heading, the list empty.
  void ShowMessage(int row);
  void Choose(QListWidgetItem* item);
  void UpdateButtons();

  UiContext& m_context;
  PathProvider m_path;
  ParameterImage m_other;       // the file's or the unit's image
  bool m_readingUnit = false;   // a read into m_other is on its way
  std::vector<ImageDifference> m_differences;
  QLabel* m_heading = nullptr;
  QListWidget* m_list = nullptr;
  QPushButton* m_fileButton = nullptr;
  QPushButton* m_unitButton = nullptr;
  QString m_otherName;
  int m_messageRow = -1;  // the row of the caption table m_heading shows alone, or -1
};

}  // namespace mzr
