#pragma once
// The failure text of the communication layer: a character buffer of 1024 bytes that the caller
// owns (in practice the instrument link's lastErrorText). A message replaces its content; success
// leaves it as it was.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>
#include <string_view>

namespace vantiro {

inline constexpr std::size_t kErrorTextSize = 1024;
using ErrorText = std::span<char, kErrorTextSize>;

// Copies `message` with its terminating zero, cut to what the buffer holds.
inline void SetErrorText(ErrorText errorText, std::string_view message) {
  const std::size_t n = std::min(message.size(), errorText.size() - 1);
  std::memcpy(errorText.data(), message.data(), n);
  errorText[n] = '\0';
}

// The text up to its terminating zero (the whole buffer when it has none).
inline std::string_view ErrorTextView(std::span<const char, kErrorTextSize> errorText) {
  return {errorText.data(), ::strnlen(errorText.data(), errorText.size())};
}

}  // namespace vantiro
