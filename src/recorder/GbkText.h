#pragma once
// The one converter between the program's UTF-8 text and the GBK bytes that the recorder's log,
// the CSV export and the CSV import carry.

#include <string>
#include <string_view>

namespace vantiro {

// The two encodings of the CSV files the program reads and writes.
enum class CsvEncoding { Gbk, Utf8 };

// UTF-8 to GBK. A character GBK cannot hold becomes '?'; invalid UTF-8 bytes become '?' too.
std::string Utf8ToGbk(std::string_view utf8);

// GBK to UTF-8. An invalid or truncated GBK sequence becomes U+FFFD.
std::string GbkToUtf8(std::string_view gbk);

}  // namespace vantiro
