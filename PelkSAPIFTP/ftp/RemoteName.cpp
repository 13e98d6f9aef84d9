#include "ftp/RemoteName.h"

#include "platform/RuntimeText.h"

namespace sapi {

WideString UploadRemoteName(const WideString &title) {
    const SplitName split = SplitPath(title);
    if (split.extension.size() < 2) {
        return split.fileName;
    }
    return title;
}

}  // namespace sapi
