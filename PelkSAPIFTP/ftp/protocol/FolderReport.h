// Whether the folder a server reports after a folder change (PWD's answer)
// can be the one that was asked for. Servers write paths their own way: a
// trailing "/", another case (Windows servers fold it), a link that leads
// elsewhere. What none of these explains is a report deeper than asked, such
// as "/nav/nav" after "nav" from "/": the sign that a command was answered by
// a reply meant for another, and a folder made where none was wanted.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sapi::ftpclient {

// Where a change to `name` should land from `from` (absolute): an absolute
// name as given, ".." one up, any other name below `from`; nothing when the
// starting point is unknown and the name is relative.
std::optional<std::string> ExpectedFolder(const std::optional<std::string> &from, std::string_view name);

// The report explains the change: the same path (slashes and case aside), or
// one that ends in the same name elsewhere (a link) without lying below the
// expected folder. After "..", anything that is neither the starting folder
// nor below it.
bool ReportExplains(std::string_view reported, std::string_view expected, std::string_view from, bool up);

}  // namespace sapi::ftpclient
