#include "ui/OutputDrawer.h"

#include <QCheckBox>

#include "ui/UiContext.h"

namespace mzr {

OutputDrawer::OutputDrawer(UiContext& context, QCheckBox* channelTestBox, QWidget* parent)
    : QWidget(parent), m_context(context), m_channelTestBox(channelTestBox) {
  setObjectName(QStringLiteral("outputDrawerContent"));
}

void OutputDrawer::RefreshOutputSection() {}

void OutputDrawer::ApplyLanguage() {}

void OutputDrawer::ResetTestSignal() {}

}  // namespace mzr
