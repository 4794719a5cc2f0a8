#pragma once
// Every caption that switches between Chinese and English: rows 0 to 178 of text pairs,
// and the names of the six test signals. Filled once, never changed. Rows that no control
// shows hold empty texts. New rows are added at the end; a row never moves.

#include <QString>

namespace mzr {

struct AppState;

class CaptionTable final {
 public:
  static constexpr int kRowCount = 179;
  static constexpr int kLanguageCount = 2;
  static constexpr int kGeneratorCount = 6;

  // The text of row in language (0 Chinese, 1 English); empty outside the table.
  static QString Text(int row, int language);
  // Test-signal type 0..5 in language; empty outside the table.
  static QString GeneratorName(int language, int type);
};

// Every caption in the current language goes through these: the language is chosen in one
// place (CaptionLanguage), whether the text is a row of the table, a test signal's name or a
// pair kept beside its control (accessible names and the like).
// languageIndex 1 is English; any other value is the program's start language, Chinese.
int CaptionLanguage(const AppState& state);
// The row's text in the current language of state.
QString Caption(const AppState& state, int row);
// One of two texts (UTF-8), by the current language of state.
QString Caption(const AppState& state, const char* chinese, const char* english);
// The name of test-signal type 0..5 in the current language of state.
QString GeneratorCaption(const AppState& state, int type);

}  // namespace mzr
