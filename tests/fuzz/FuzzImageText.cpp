// The image's text setters and readers against any bytes. The first input byte picks the
// slot and whether the rest goes in as UTF-8 (SetText) or as raw GBK (SetTextBytes); the
// second fills the whole image first, so a slot may hold no terminator at all.
// A write never touches a byte outside its slot, and what is read back is exactly the
// start of what was given, cut at a character boundary, never past the slot's end.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "model/GbkCodec.h"
#include "model/ParameterImage.h"

namespace {

constexpr int kTextFields = static_cast<int>(mzr::TextField::makerTag) + 1;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string_view UpToZero(std::string_view s) { return s.substr(0, std::min(s.find('\0'), s.size())); }

// Every slot reads only its own bytes: up to its first zero, else to the slot's end.
void CheckReads(const mzr::ParameterImage& image) {
  for (int f = 0; f < kTextFields; ++f) {
    const auto field = static_cast<mzr::TextField>(f);
    const mzr::TextSlot& slot = mzr::SlotOf(field);
    const auto bytes = image.Bytes(static_cast<std::size_t>(slot.address), static_cast<std::size_t>(slot.width));
    Check(bytes.has_value());
    const std::string_view inSlot(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    Check(image.TextBytes(field) == UpToZero(inSlot));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto field = static_cast<mzr::TextField>((data[0] & 0x7F) % kTextFields);
  const bool asUtf8 = (data[0] & 0x80) != 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 2), size - 2);

  // On the heap and exactly as large as its bytes, so a read or write past the last slot
  // (which ends where the image ends) is caught by the address sanitizer too.
  static_assert(sizeof(mzr::ParameterImage) == mzr::kImageSize);
  auto image = std::make_unique<mzr::ParameterImage>();
  std::array<std::uint8_t, mzr::kImageSize> fill{};
  fill.fill(data[1]);
  image->ReplaceAll(fill);
  CheckReads(*image);
  (void)image->Text(field);  // a slot with no terminator decodes only its own bytes
  const mzr::ParameterImage before = *image;

  std::string given;  // the GBK bytes the setter was asked to store
  mzr::TextStoreResult result;
  if (asUtf8) {
    const auto gbk = mzr::GbkFromUtf8(input);
    result = image->SetText(field, input);
    if (!gbk) {
      Check(result == mzr::TextStoreResult::Refused && *image == before);
      return 0;
    }
    given = *gbk;
  } else {
    given.assign(input);
    result = image->SetTextBytes(field, input);
  }
  Check(result != mzr::TextStoreResult::Refused);

  const mzr::TextSlot& slot = mzr::SlotOf(field);
  const auto slotBegin = static_cast<std::size_t>(slot.address);
  const auto slotEnd = slotBegin + static_cast<std::size_t>(slot.width);
  for (std::size_t i = 0; i < mzr::kImageSize; ++i) {
    if (i < slotBegin || i >= slotEnd) Check(image->U8(static_cast<int>(i)) == before.U8(static_cast<int>(i)));
  }

  const std::string_view wanted = UpToZero(given);
  const std::string stored = image->TextBytes(field);
  const std::size_t room = static_cast<std::size_t>(slot.width) - (slot.terminatorOptional ? 0 : 1);
  Check(stored.size() <= room && wanted.substr(0, stored.size()) == stored);
  Check((result == mzr::TextStoreResult::Stored) == (stored.size() == wanted.size()));
  // Nothing is given up that would have fit: at most one double-byte character is left out.
  Check(stored.size() == wanted.size() || stored.size() + 2 > room);
  if (asUtf8) {
    // Valid GBK cut at a character boundary decodes to the start of the whole text.
    const std::string all = mzr::Utf8FromGbk(wanted);
    const std::string kept = image->Text(field);
    Check(all.compare(0, kept.size(), kept) == 0);
  }
  CheckReads(*image);
  return 0;
}
