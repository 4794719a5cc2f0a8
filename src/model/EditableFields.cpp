#include "model/EditableFields.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace mzr {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

// ASCII case folding only: the display texts of numeric fields are ASCII.
bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

// "[+-]digits", at most six digits, as the companion has always taken them.
std::optional<int> Integer(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 6) return std::nullopt;
  if (!std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  int v = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), v);
  return text.front() == '-' ? -v : v;
}

bool IsNumeric(const FieldElement& element) {
  return element.kind == FieldKind::u8 || element.kind == FieldKind::i8 || element.kind == FieldKind::u16 ||
         element.kind == FieldKind::bits;
}

std::string_view MemberName(const FieldElement& element) {
  return element.member ? element.member->name : std::string_view();
}

}  // namespace

const EditableField* EditableFieldOf(const FieldElement& element) {
  if (!element.field) return nullptr;
  return FindEditable(element.field->name, MemberName(element));
}

std::optional<FieldElement> ElementOf(const EditableField& rule, int row, int index) {
  const FieldSpec* layout = FindField(rule.field);
  if (!layout) return std::nullopt;
  for (const FieldElement& e : ElementsOf(*layout)) {
    if (e.row == row && e.index == index && MemberName(e) == rule.member) return e;
  }
  return std::nullopt;
}

int EditIndexOf(const FieldElement& element) {
  return element.field && element.field->rows > 1 ? kGeqRowStride * element.row + element.index : element.index;
}

std::string DisplayTextOf(const FieldElement& element, int v) {
  ParameterImage image;
  if (element.size == 2) {
    image.SetU16(element.address, static_cast<std::uint16_t>(v));
  } else {
    image.SetU8(element.address, static_cast<std::uint8_t>(v));  // int8 as two's complement
  }
  return DisplayText(image, element);
}

std::optional<int> ParseStoredValue(const EditableField& rule, const FieldElement& element, std::string_view text) {
  if (!IsNumeric(element)) return std::nullopt;
  const std::string_view trimmed = Trimmed(text);
  std::string_view wanted = trimmed;
  if (!wanted.empty() && wanted.front() == '+') wanted.remove_prefix(1);
  for (int v = rule.low; v <= rule.high; v += rule.step) {
    if (rule.Allows(v) && SameIgnoringCase(DisplayTextOf(element, v), wanted)) return v;
  }
  if (const auto v = Integer(trimmed); v && rule.Allows(*v)) return v;
  return std::nullopt;
}

std::string RangeText(const EditableField& rule, const FieldElement& element) {
  if (rule.singleBit) return "0 or one bit (1, 2, 4 .. " + std::to_string(rule.high) + ")";
  std::string range = std::to_string(rule.low) + ".." + std::to_string(rule.high);
  const std::string low = DisplayTextOf(element, rule.low);
  const std::string high = DisplayTextOf(element, rule.high);
  if (low != std::to_string(rule.low) || high != std::to_string(rule.high)) {
    range += " (" + low + " .. " + high + ")";
  }
  return range;
}

}  // namespace mzr
