// The path in a 257 reply (PWD, MKD): the text between the first double quote
// and the next single one, with each doubled quote inside standing for one:
// 257 "/a ""b""" is the current directory  ->  /a "b"
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sapi::ftpclient {

std::optional<std::string> ParseQuotedPath(std::string_view text);

}  // namespace sapi::ftpclient
