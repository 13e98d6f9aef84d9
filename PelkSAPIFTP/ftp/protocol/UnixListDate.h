// The date column of a Unix-style LIST line, in the shapes servers send:
//   Dec  7 07:25     Jan 02  2024      ls in an English or C locale
//   3月 2 15:13      6月 3日 2003年     ls under a Chinese, Japanese or Korean
//                                      locale: a month marker, and day and
//                                      year markers or none
//   2005-04-08 11:22                   GNU ls --time-style=long-iso
//   2005-04-08                         a date alone
//   2005-04-08 11:22:33.000000000 +0200  GNU ls --full-time
// A marker is one CJK character in whatever encoding the server's locale
// uses: 月 is three bytes in UTF-8, two in Shift-JIS, GBK or EUC-KR, and
// Shift-JIS writes 年 as 0x94 'N'. So a marker is read by its shape (two or
// three bytes, the first not ASCII), not by its bytes.
#pragma once

#include <cstddef>
#include <string_view>

namespace sapi::ftpclient {

// Where the date that starts at `pos` (the start of a word) ends: just past
// its last word; noDate when no date starts there. (No optional: asked twice
// a line, its optional came back through memory, a stall each time.)
constexpr std::size_t noDate = std::string_view::npos;
std::size_t UnixDateEnd(std::string_view line, std::size_t pos);

// "07:25", "7:25"; with `seconds`, also "07:25:33" and "07:25:33.000000000".
bool IsClock(std::string_view word, bool seconds);

// A number of one to `most` digits from `least` to `greatest`, then nothing
// or (where `marked`) one CJK character: 年, 月, 日, 년.
bool IsDateNumber(std::string_view word, std::size_t most, unsigned least, unsigned greatest, bool marked);

}  // namespace sapi::ftpclient
