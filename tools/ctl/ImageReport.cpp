#include "ImageReport.h"

#include <QJsonArray>

#include "model/FieldTable.h"
#include "model/ImageDiff.h"

namespace mzr::ctl {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QJsonValue JsonValue(const ParameterImage& image, const FieldElement& e) {
  if (const auto number = StoredNumber(image, e)) return *number;
  return Q(DisplayText(image, e));
}

QJsonValue JsonElement(const ParameterImage& image, const std::vector<FieldElement>& elements, std::size_t& next) {
  const FieldElement& first = elements[next];
  if (!first.member) return JsonValue(image, elements[next++]);
  QJsonObject record;
  for (std::size_t m = 0; m < first.field->members.size(); ++m, ++next) {
    record.insert(QString::fromUtf8(elements[next].member->name.data(),
                                     static_cast<qsizetype>(elements[next].member->name.size())),
                  JsonValue(image, elements[next]));
  }
  return record;
}

}  // namespace

QStringList ShowLines(const ParameterImage& image) {
  QStringList lines;
  for (const auto& e : AllElements()) {
    lines << QStringLiteral("%1 %2 %3")
                 .arg(Q(e.Name()), -28)
                 .arg(Q(StoredText(image, e)), -20)
                 .arg(Q(DisplayText(image, e)))
                 .trimmed();
  }
  return lines;
}

QJsonObject ShowJson(const ParameterImage& image) {
  QJsonObject object;
  for (const auto& field : FieldTable()) {
    const auto elements = ElementsOf(field);
    std::size_t next = 0;
    QJsonValue value;
    if (!field.isTable()) {
      value = JsonElement(image, elements, next);
    } else {
      QJsonArray rows;
      for (int row = 0; row < field.rows; ++row) {
        QJsonArray items;
        for (int i = 0; i < field.count; ++i) items.append(JsonElement(image, elements, next));
        rows.append(items);
      }
      value = field.rows > 1 ? QJsonValue(rows) : rows.first();
    }
    object.insert(QString::fromUtf8(field.name.data(), static_cast<qsizetype>(field.name.size())), value);
  }
  return object;
}

QStringList DiffLines(const ParameterImage& a, const ParameterImage& b) {
  QStringList lines;
  for (const ImageDifference& d : DiffImages(a, b)) lines << Q(d.line);
  return lines;
}

}  // namespace mzr::ctl
