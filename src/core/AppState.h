#pragma once
// The program-wide flags every editor and the device link consult. All zero at start.

#include <cstdint>

namespace mzr {

struct AppState {
  std::int32_t languageIndex = 0;    // 0 Chinese, 1 English
  std::int32_t connected = 0;        // 1 while a listed unit is connected
  std::int32_t refreshing = 0;       // 1 while the program itself moves image values into controls
  std::int32_t networkMode = 0;      // set by the first device search; sends happen only while 1
  std::int32_t selectedChannel = 0;  // channel tab 0..6
  std::int32_t pressTicks = 0;       // 100 ms ticks of the logo long press
};

// The refreshing bracket as a scope: refreshing is 1 from construction and 0 once the scope
// ends, however it ends. It ends at 0 rather than at the value it found, as the bracket
// always has: a refresher inside may set 1 itself and leave clearing it to the bracket.
class RefreshingScope final {
 public:
  explicit RefreshingScope(AppState& state) : m_state(state) { m_state.refreshing = 1; }
  ~RefreshingScope() { m_state.refreshing = 0; }
  RefreshingScope(const RefreshingScope&) = delete;
  RefreshingScope& operator=(const RefreshingScope&) = delete;

 private:
  AppState& m_state;
};

// Refreshing held at 1 for a scope and given back as it was found: for controls made when
// first needed, whose first refresh may run inside a handler's bracket or a refresh.
class RefreshingHold final {
 public:
  explicit RefreshingHold(AppState& state) : m_state(state), m_before(state.refreshing) { m_state.refreshing = 1; }
  ~RefreshingHold() { m_state.refreshing = m_before; }
  RefreshingHold(const RefreshingHold&) = delete;
  RefreshingHold& operator=(const RefreshingHold&) = delete;

 private:
  AppState& m_state;
  std::int32_t m_before;
};

}  // namespace mzr
