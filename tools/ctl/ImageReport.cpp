#include "ImageReport.h"

#include <QJsonArray>

#include "model/FieldTable.h"

namespace mzr::ctl {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString Hex(std::span<const std::uint8_t> bytes) {
  QStringList parts;
  for (const auto b : bytes) parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
  return parts.join(QLatin1Char(' '));
}

std::span<const std::uint8_t> BytesOf(const ParameterImage& image, const FieldElement& e) {
  return image.All().subspan(static_cast<std::size_t>(e.address), static_cast<std::size_t>(e.size));
}

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
  for (const auto& e : AllElements()) {
    const auto bytesA = BytesOf(a, e);
    const auto bytesB = BytesOf(b, e);
    if (std::equal(bytesA.begin(), bytesA.end(), bytesB.begin())) continue;
    // Texts are quoted so an empty or blank one still shows.
    const auto shown = [&e](const ParameterImage& image) {
      const QString text = Q(DisplayText(image, e));
      return e.kind == FieldKind::text ? QLatin1Char('"') + text + QLatin1Char('"') : text;
    };
    const QString textA = shown(a);
    const QString textB = shown(b);
    QString line = QStringLiteral("%1: %2 -> %3").arg(Q(e.Name()), textA, textB);
    if (textA == textB) {
      const QString storedA = Q(StoredText(a, e));
      const QString storedB = Q(StoredText(b, e));
      // Two out-of-list values share the unknown mark; bytes behind a text's terminator
      // share the text: say what is stored so the line shows the difference.
      line += storedA != storedB ? QStringLiteral(" (stored %1 -> %2)").arg(storedA, storedB)
                                 : QStringLiteral(" (bytes %1 -> %2)").arg(Hex(bytesA), Hex(bytesB));
    }
    lines << line;
  }
  for (const int address : UncoveredBytes()) {
    const auto va = a.U8(address);
    const auto vb = b.U8(address);
    if (va != vb) {
      lines << QStringLiteral("byte %1 (carried): 0x%2 -> 0x%3")
                   .arg(address)
                   .arg(Hex(a.All().subspan(static_cast<std::size_t>(address), 1)))
                   .arg(Hex(b.All().subspan(static_cast<std::size_t>(address), 1)));
    }
  }
  return lines;
}

}  // namespace mzr::ctl
