#include "model/GbkCodec.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace mzr {
namespace {

// One conversion descriptor per call keeps the functions reentrant; glibc caches the
// loaded converter, so opening is cheap after the first time.
class Iconv final {
 public:
  Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~Iconv() {
    if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return m_cd; }

 private:
  iconv_t m_cd;
};

}  // namespace

std::optional<std::string> GbkFromUtf8(std::string_view utf8) {
  Iconv cd("GBK", "UTF-8");
  if (!cd.ok()) return std::nullopt;
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  if (iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

std::string Utf8FromGbk(std::string_view gbk) {
  Iconv cd("UTF-8", "GBK");
  std::string result;
  if (!cd.ok()) return result;
  result.reserve(gbk.size() * 3 / 2 + 4);
  char* in = const_cast<char*>(gbk.data());
  std::size_t inLeft = gbk.size();
  std::vector<char> buf(gbk.size() * 3 + 8);
  while (inLeft > 0) {
    char* outPtr = buf.data();
    std::size_t outLeft = buf.size();
    std::size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    result.append(buf.data(), buf.size() - outLeft);
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // Invalid or incomplete sequence: mark it and go on after the offending byte.
      result += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  return result;
}

std::size_t GbkPrefixLength(std::string_view gbk, std::size_t maxBytes) {
  std::size_t i = 0;
  while (i < gbk.size()) {
    const auto lead = static_cast<unsigned char>(gbk[i]);
    const std::size_t len = (lead >= 0x81 && lead <= 0xFE && i + 1 < gbk.size()) ? 2 : 1;
    if (i + len > maxBytes) break;
    i += len;
  }
  return i;
}

}  // namespace mzr
