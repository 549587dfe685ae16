#include "recorder/GbkText.h"

#include <iconv.h>

#include <cerrno>
#include <algorithm>
#include <cstddef>

namespace vantiro {
namespace {

// One iconv descriptor per direction and thread; iconv descriptors are not shareable.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`; `skip` says how many input bytes an unconvertible sequence at `p` spans and
  // `replacement` what is written for it.
  template <typename SkipFn>
  std::string Run(std::string_view in, SkipFn skip, std::string_view replacement) {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t used = 0;
    while (srcLeft > 0) {
      char* dst = out.data() + used;
      std::size_t dstLeft = out.size() - used;
      const std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      used = out.size() - dstLeft;
      if (rc != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2 + 16);
        continue;
      }
      // EILSEQ or EINVAL: replace the offending sequence and go on after it.
      std::size_t n = skip(reinterpret_cast<const unsigned char*>(src), srcLeft);
      if (n == 0 || n > srcLeft) n = srcLeft;
      if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
      std::copy(replacement.begin(), replacement.end(), out.begin() + static_cast<long>(used));
      used += replacement.size();
      src += n;
      srcLeft -= n;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence that starts at p (1 for a byte that starts none).
std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t left) {
  const unsigned char b = p[0];
  std::size_t n = 1;
  if (b >= 0xC2 && b <= 0xDF) n = 2;
  else if (b >= 0xE0 && b <= 0xEF) n = 3;
  else if (b >= 0xF0 && b <= 0xF4) n = 4;
  if (n > left) return 1;
  for (std::size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 1;
  }
  return n;
}

bool IsAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
  // Plain ASCII needs no conversion; most of what the program writes is.
  if (IsAscii(utf8)) return std::string(utf8);
  thread_local Converter converter("GBK", "UTF-8");
  return converter.Run(utf8, Utf8SequenceLength, "?");
}

std::string GbkToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  thread_local Converter converter("UTF-8", "GBK");
  return converter.Run(gbk, [](const unsigned char*, std::size_t) { return std::size_t{1}; },
                       "\xEF\xBF\xBD");
}

}  // namespace vantiro
