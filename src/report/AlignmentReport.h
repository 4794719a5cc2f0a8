#pragma once
// The report of a hall's alignment: one page per channel of the unit with the target and
// its tolerance band, the measured average before, the predicted response after, the
// equalizer as the program draws it, the band table and the figures; the unit's identity
// (hall, screen, MAC) and the date on every page. A channel not measured in this session
// shows its settings only. Written as PDF (Qt's PDF writer) or PNG (the pages one below the
// other), chosen by the file's suffix; the file is replaced only once it is complete.

#include <QDateTime>
#include <QImage>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

#include "align/EqualizerFit.h"
#include "model/ParameterImage.h"

namespace mzr {

struct ReportChannel {
  int channel = 0;
  std::optional<FitResult> fit;  // nothing: not measured in this session
  QString targetName;            // the target's name with its slopes
  QStringList measurements;      // the files averaged
  QString tolerance;             // where the tolerance band comes from, with its values
};

// What the installer signs with: who, the room, the microphone, notes.
struct ReportSignature {
  QString installer;
  QString room;  // seats or volume
  QString microphone;
  QString notes;
};

struct AlignmentReportInput {
  ParameterImage image;  // the settings after the alignment
  std::vector<ReportChannel> channels;
  QDateTime date;
  ReportSignature signature;
};

class AlignmentReport final {
 public:
  // A4 at 150 dots per inch: the size every page is laid out in.
  static constexpr int kPageWidth = 1240;
  static constexpr int kPageHeight = 1754;

  // A report of every channel of the unit (0 to 5): those in fitted with their fit, the
  // others with their settings only.
  static AlignmentReportInput ForUnit(const ParameterImage& image, const std::vector<ReportChannel>& fitted,
                                      const QDateTime& date);

  // Nothing on success, else the reason.
  static std::optional<QString> Write(const QString& path, const AlignmentReportInput& input);
  // The file's bytes (PDF or PNG by path's suffix), or the reason there are none.
  static std::variant<QByteArray, QString> Render(const QString& path, const AlignmentReportInput& input);

  static QImage RenderPage(const AlignmentReportInput& input, const ReportChannel& channel);
};

}  // namespace mzr
