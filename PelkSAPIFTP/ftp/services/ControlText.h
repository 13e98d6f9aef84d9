// Texts that end up on the FTP control connection (names, paths, commands,
// the login) must not carry a line break: "a\r\nDELE b" would be two commands.
// Both client services refuse such a text before anything is sent.
#pragma once

#include "platform/WideText.h"

namespace sapi {

// True when the zero-terminated text (null counts as empty) holds no CR or LF.
bool IsSingleLine(const WideChar *text);

}  // namespace sapi
