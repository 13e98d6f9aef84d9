// The name under which UploadAsset stores a file, made from its "Title".
#pragma once

#include "platform/WideText.h"

namespace sapi {

// A title with a real extension (two characters or more, the dot included) is
// used whole, folders and all; any other title loses its drive and folders and
// keeps at most 255 characters of its file name.
WideString UploadRemoteName(const WideString &title);

}  // namespace sapi
