#pragma once
// Undo and redo of the edits. Every change an editor makes reaches the history as a step of
// the edit operation (bytes before and after); one user gesture becomes one undo step: the
// steps between BeginGesture and EndGesture (a slider dragged from press to release, a
// click, Flat), or a series of steps on one field within a second of each other outside any
// gesture (the arrow keys on one slider, typing into one profile text). Undo and Redo put
// the bytes back through the edit operation, which sends the same frames an editor would
// while a unit is connected; steps reported while they run are not recorded. The window
// refreshes its controls on `restored`. Bounded; cleared when the whole image is replaced.

#include <QObject>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "link/EditOperation.h"
#include "model/ParameterImage.h"

namespace mzr {

class EditHistory final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(EditHistory)

 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  static constexpr std::size_t kDefaultLimit = 1000;
  static constexpr std::chrono::milliseconds kSeriesWindow{1000};

  // image and edits are owned by the workspace and outlive the history.
  EditHistory(const ParameterImage& image, EditOperation& edits, QObject* parent = nullptr);

  // All steps until the matching EndGesture form one undo step. Nests.
  void BeginGesture();
  void EndGesture();
  bool gestureOpen() const { return m_gestureDepth > 0; }

  bool canUndo() const { return !m_undo.empty(); }
  bool canRedo() const { return !m_redo.empty(); }
  std::size_t undoCount() const { return m_undo.size(); }
  std::size_t redoCount() const { return m_redo.size(); }
  // Take back the newest undo step / do again the newest undone step; false when none.
  bool Undo();
  bool Redo();
  void Clear();

  // Steps reported while one is alive are not recorded: a refresh after the whole image was
  // replaced stores what its controls show, which is not the user's edit.
  class Pause final {
   public:
    explicit Pause(EditHistory& history) : m_history(history) { ++m_history.m_paused; }
    ~Pause() { --m_history.m_paused; }
    Q_DISABLE_COPY_MOVE(Pause)

   private:
    EditHistory& m_history;
  };

  // A gesture as a scope (Flat's loop over its bars).
  class Gesture final {
   public:
    explicit Gesture(EditHistory& history) : m_history(history) { m_history.BeginGesture(); }
    ~Gesture() { m_history.EndGesture(); }
    Q_DISABLE_COPY_MOVE(Gesture)

   private:
    EditHistory& m_history;
  };

  // For tests: the limit and the clock the series window is measured with.
  void setLimit(std::size_t limit);
  void setClock(Clock clock) { m_clock = std::move(clock); }

 signals:
  // canUndo or canRedo may have changed.
  void changed();
  // Undo or Redo put bytes back into the image: the controls should show the image again,
  // without sending. framesSent: at least one step had a field, whose frame went out while
  // connected.
  void restored(bool framesSent);

 private:
  // The steps of one user gesture, in the order they happened; consecutive steps on the same
  // field (and index) are merged into one, so an undo sends each field's frame once.
  struct Entry {
    std::vector<EditStep> steps;
    bool series = false;  // outside a gesture: may take the next step on the same field
    std::chrono::steady_clock::time_point last{};
  };

  static bool HasFrames(const Entry& entry);
  void FlushGesture();
  void Record(const EditStep& step);
  void Push(Entry entry);
  // Adds step to entry, merging it into the last step when it has the same key.
  void AddTo(Entry& entry, const EditStep& step) const;

  const ParameterImage& m_image;
  EditOperation& m_edits;
  std::deque<Entry> m_undo;
  std::vector<Entry> m_redo;
  std::optional<Entry> m_gesture;  // the open gesture's steps so far
  int m_gestureDepth = 0;
  int m_paused = 0;
  bool m_restoring = false;
  std::size_t m_limit = kDefaultLimit;
  Clock m_clock = [] { return std::chrono::steady_clock::now(); };
};

}  // namespace mzr
