#pragma once
// The input drawer's contents (the left side channel, "格式（输入设置）"): one framed box
// per input with its name, preset level bar, value text, scale and Preset box, the
// PROLOGIC II boxes of inputs 0 to 3 and the microphone routing group of input 4. Each
// control's handler stores into the image and sends through the context's edit operation.

#include <QWidget>

namespace mzr {

struct UiContext;

class InputDrawer final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(InputDrawer)

 public:
  InputDrawer(UiContext& context, QWidget* parent = nullptr);

  // Step 2 of the refresh of every editor: preset bars and texts, Preset boxes, PROLOGIC II
  // boxes, microphone routing. Leaves refreshing as it finds it.
  void RefreshPresetSection();
  // The drawer's captions in the current language (the drawer's own caption is the window's).
  void ApplyLanguage();

 private:
  UiContext& m_context;
};

}  // namespace mzr
