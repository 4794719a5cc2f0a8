#pragma once
// A caption that names a row of columns with one text ("Left   Center   Right ..."): the
// label keeps the text exactly as given, and paints its words each centred over its own
// column, so the heads stay over their columns whatever the font's widths.

#include <QLabel>
#include <QList>

namespace mzr {

class ColumnHeadLabel final : public QLabel {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ColumnHeadLabel)

 public:
  // centres: the x of each column's middle, in this label's coordinates.
  ColumnHeadLabel(QList<int> centres, QWidget* parent = nullptr);

  // The words of text in column order (blanks separate them).
  static QStringList Heads(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QList<int> m_centres;
};

}  // namespace mzr
