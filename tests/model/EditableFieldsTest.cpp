// The table of editable fields against the image's field table: every row names a field (and
// member) the image has, reaches no more rows and entries than it holds, and its stored range
// fits the element's storage, so a slip in the table shows here rather than as a value the
// editors or `set` would wrap on store.

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace mzr
