#pragma once
// Keeps a line edit to what its image slot can hold: texts GBK can encode, within a byte
// limit. A keystroke or paste that would add a character GBK cannot hold, or pass the limit,
// is refused as a whole, so the edit never shows a text that the image would store changed.

#include <QValidator>

#include <cstddef>

namespace mzr {

class GbkLengthValidator final : public QValidator {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(GbkLengthValidator)

 public:
  GbkLengthValidator(std::size_t maxBytes, QObject* parent);

  State validate(QString& input, int& pos) const override;

 private:
  std::size_t m_maxBytes;
};

}  // namespace mzr
