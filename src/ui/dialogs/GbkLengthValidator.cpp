#include "ui/dialogs/GbkLengthValidator.h"

#include "model/GbkCodec.h"

namespace mzr {

GbkLengthValidator::GbkLengthValidator(std::size_t maxBytes, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes) {}

QValidator::State GbkLengthValidator::validate(QString& input, int&) const {
  const auto gbk = GbkFromUtf8(input.toStdString());
  return gbk && gbk->size() <= m_maxBytes ? Acceptable : Invalid;
}

}  // namespace mzr
