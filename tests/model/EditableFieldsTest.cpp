// The table of editable fields against the image's field table and the span table: every row
// names a field (and member) the image has, reaches no more rows and entries than it holds,
// its stored range fits the element's storage, its ends survive the trip through the texts
// `show` prints and `set` reads, its editor's span holds what it changes, and its slider
// meets each allowed value once; so a slip in the table shows here rather than as a value the
// editors or `set` would wrap on store or send from the wrong bytes.

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <set>
#include <string>

#include "model/EditableFields.h"
#include "model/FieldTable.h"

namespace mzr {
namespace {

struct StorageRange {
  int low;
  int high;
};

StorageRange RangeOf(FieldKind kind, int size) {
  switch (kind) {
    case FieldKind::i8:
      return {-128, 127};
    case FieldKind::u16:
      return {0, 65535};
    case FieldKind::bits:
      return {0, size == 2 ? 65535 : 255};
    default:
      return {0, 255};
  }
}

TEST(EditableFields, EveryRowNamesAFieldOfTheImageAndFitsItsStorage) {
  for (const EditableField& row : kEditableFields) {
    SCOPED_TRACE(std::string(row.field) + "." + std::string(row.member));
    const FieldSpec* described = FindField(row.field);
    ASSERT_NE(described, nullptr);
    EXPECT_LE(row.rows, described->rows);
    EXPECT_LE(row.entries, described->count);
    FieldKind kind = described->kind;
    int size = described->elementSize;
    if (!row.member.empty()) {
      const FieldMember* found = nullptr;
      for (const FieldMember& m : described->members) {
        if (m.name == row.member) found = &m;
      }
      ASSERT_NE(found, nullptr);
      kind = found->kind;
      size = kind == FieldKind::u16 ? 2 : 1;
    } else {
      EXPECT_TRUE(described->members.empty()) << "a record needs its member named";
    }
    if (kind == FieldKind::text) {
      EXPECT_FALSE(row.edited.has_value() && row.field != "serialNumber") << "texts other than the serial are not sent";
      continue;
    }
    const StorageRange storage = RangeOf(kind, size);
    EXPECT_GE(row.low, storage.low);
    EXPECT_LE(row.high, storage.high);
  }
}

TEST(EditableFields, TheSingleBitRuleRefusesTwoBitsAndTheRangeHoldsAtItsEnds) {
  const EditableField& test = Editable("testSignalMask");
  EXPECT_TRUE(test.Allows(0));
  EXPECT_TRUE(test.Allows(32));
  EXPECT_FALSE(test.Allows(3));
  EXPECT_FALSE(test.Allows(129));
  const EditableField& band = Editable("geqGain");
  EXPECT_TRUE(band.Allows(-60));
  EXPECT_TRUE(band.Allows(60));
  EXPECT_FALSE(band.Allows(61));
  EXPECT_FALSE(band.Allows(-61));
  EXPECT_EQ(FindEditable("macAddress"), nullptr);  // carried, never edited
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string NameOf(const EditableField& row) {
  return std::string(row.field) + (row.member.empty() ? "" : "." + std::string(row.member));
}

// What `set` rests on: the two ends of every numeric row survive the trip through the text
// the program shows (as shown, upper-cased and padded) and as numbers; one step past either
// end is refused as a number and, where the bytes can hold it, as its display text.
TEST(EditableFields, EveryRowsEndsRoundTripThroughTheirTextsAndOneStepBeyondIsRefused) {
  for (const EditableField& row : kEditableFields) {
    SCOPED_TRACE(NameOf(row));
    const std::optional<FieldElement> e = ElementOf(row);
    ASSERT_TRUE(e.has_value()) << "no such field or member";
    EXPECT_EQ(EditableFieldOf(*e), &row);
    if (e->kind == FieldKind::text) {
      EXPECT_FALSE(ParseStoredValue(row, *e, "0"));
      continue;
    }
    const StorageRange storage = RangeOf(e->kind, e->size);
    for (const int end : {row.low, row.high}) {
      const std::string text = DisplayTextOf(*e, end);
      EXPECT_EQ(ParseStoredValue(row, *e, text), end) << "display text " << text;
      EXPECT_EQ(ParseStoredValue(row, *e, " " + Upper(text) + " "), end) << "display text " << text;
      EXPECT_EQ(ParseStoredValue(row, *e, std::to_string(end)), end);
    }
    for (const int outside : {row.low - row.step, row.high + row.step}) {
      EXPECT_FALSE(row.Allows(outside)) << outside;
      EXPECT_FALSE(ParseStoredValue(row, *e, std::to_string(outside))) << outside;
      if (outside >= storage.low && outside <= storage.high) {
        EXPECT_FALSE(ParseStoredValue(row, *e, DisplayTextOf(*e, outside))) << DisplayTextOf(*e, outside);
      }
    }
  }
}

// The editor named in a row sends a span that holds every element the row lets it change:
// a row given the wrong EditedField (treble gain sent as the bass pair) or a span with the
// wrong stride would change the image and send other bytes.
TEST(EditableFields, EveryReachedElementLiesInsideTheSpanItsEditorSends) {
  for (const EditableField& row : kEditableFields) {
    if (!row.edited) continue;
    SCOPED_TRACE(NameOf(row));
    const FieldSpec* layout = FindField(row.field);
    ASSERT_NE(layout, nullptr);
    int reached = 0;
    for (const FieldElement& e : ElementsOf(*layout)) {
      if ((e.member ? e.member->name : std::string_view()) != row.member || !row.Reaches(e.row, e.index)) continue;
      ++reached;
      const WriteSpan span = WriteSpanFor(*row.edited, EditIndexOf(e));
      EXPECT_GE(e.address, span.address) << e.Name();
      EXPECT_LE(e.address + e.size, span.address + span.count) << e.Name();
    }
    EXPECT_EQ(reached, row.rows * row.entries);
  }
}

// A slider's every position stands for one value the field allows, and back: walking the bar
// from end to end meets each allowed value exactly once.
TEST(EditableFields, EverySliderPositionIsOneAllowedValueAndBack) {
  for (const EditableField& row : kEditableFields) {
    const std::optional<SliderScale> scale = row.Scale();
    if (!scale) continue;
    SCOPED_TRACE(NameOf(row));
    std::set<int> seen;
    for (int p = scale->minPosition; p <= scale->maxPosition; ++p) {
      const int stored = scale->ToStored(p);
      EXPECT_TRUE(row.Allows(stored)) << p;
      EXPECT_EQ(scale->ToPosition(stored), p);
      seen.insert(stored);
    }
    EXPECT_EQ(static_cast<int>(seen.size()), (row.high - row.low) / row.step + 1);
    EXPECT_EQ(*seen.begin(), row.low);
    EXPECT_EQ(*seen.rbegin(), row.high);
  }
}

TEST(EditableFields, ReadsDisplayTextsAndNumbers) {
  struct Case {
    const char* field;
    const char* member;
    const char* text;
    std::optional<int> stored;
  };
  const Case cases[] = {
      {"outputLevel", "", "-3.0dB", 38},
      {"outputLevel", "", "+8.0DB", 60},
      {"outputLevel", "", "8.5dB", std::nullopt},  // one step above the top
      {"outputLevel", "", "40", 40},
      {"outputLevel", "", "4O", std::nullopt},
      {"outputLevel", "", "", std::nullopt},
      {"outputLevel", "", "-", std::nullopt},
      {"outputLevel", "", "1234567", std::nullopt},
      {"subLpfSlope", "", "24db/oct", 2},
      {"subLpfSlope", "", "off", 0},
      {"subPeq", "freq", "19", std::nullopt},
      {"subPeq", "gain", "-120", -120},
      {"subPeq", "gain", "-12.0dB", -120},
      {"subPeq", "gain", "-121", std::nullopt},
      {"presetLevel", "", "10.0", 100},
      {"muteMask", "", "00000101", 5},  // the binary digits shown win over the decimal 101
      {"muteMask", "", "101", 101},
      {"geqGain", "", "-6.0dB", -60},
      {"geqGain", "", "6.1dB", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + "." + c.member + " '" + c.text + "'");
    const EditableField* row = FindEditable(c.field, c.member);
    ASSERT_NE(row, nullptr);
    const std::optional<FieldElement> e = ElementOf(*row);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(ParseStoredValue(*row, *e, c.text), c.stored);
  }
}

TEST(EditableFields, SingleBitRowParsesZeroOrOneBitAndNamesItsRange) {
  const EditableField& row = Editable("testSignalMask");
  const FieldElement e = *ElementOf(row);
  for (const int v : {0, 1, 2, 8, 64, 128}) EXPECT_EQ(ParseStoredValue(row, e, std::to_string(v)), v);
  for (const int v : {3, 6, 129, 192, 255, 256}) EXPECT_FALSE(ParseStoredValue(row, e, std::to_string(v))) << v;
  EXPECT_EQ(RangeText(row, e), "0 or one bit (1, 2, 4 .. 128)");
}

TEST(EditableFields, RangeTextShowsDisplayTextsOnlyWhereTheyDiffer) {
  const EditableField& level = Editable("outputLevel");
  EXPECT_EQ(RangeText(level, *ElementOf(level)), "0..60 (-22.0dB .. 8.0dB)");
  const EditableField& delay = Editable("outputDelay");
  EXPECT_EQ(RangeText(delay, *ElementOf(delay)), "0..200 (0mS .. 200mS)");
  const EditableField& source = Editable("powerOnSource");
  EXPECT_EQ(RangeText(source, *ElementOf(source)).substr(0, 6), "0..5 (");
  const EditableField& mask = Editable("prologicMask");
  EXPECT_EQ(RangeText(mask, *ElementOf(mask)), "0..15 (00000000 .. 00001111)");
}

TEST(EditableFields, UneditedFieldsAndUnreachedEntriesAreTold) {
  const FieldSpec* mac = FindField("macAddress");
  ASSERT_NE(mac, nullptr);
  EXPECT_EQ(EditableFieldOf(ElementsOf(*mac).front()), nullptr);
  const EditableField& level = Editable("outputLevel");
  EXPECT_TRUE(level.Reaches(0, 5));
  EXPECT_FALSE(level.Reaches(0, 6));  // outputs 6 and 7 are carried, never edited
  const EditableField& geq = Editable("geqGain");
  EXPECT_TRUE(geq.Reaches(4, kGeqBands - 1));
  EXPECT_FALSE(geq.Reaches(5, 0));
  EXPECT_EQ(EditIndexOf(*ElementOf(geq, 2, 14)), 2 * kGeqRowStride + 14);
}

}  // namespace
}  // namespace mzr
