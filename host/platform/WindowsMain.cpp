// Arguments arrive in UTF-16 (wmain, -municode); everything after speaks UTF-8.
#include <windows.h>

#include "Sapihost.h"

int wmain(int argc, wchar_t **argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const int length = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<size_t>(length > 0 ? length : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), length, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(std::move(arg));
    }
    if (GetConsoleOutputCP() != 0) SetConsoleOutputCP(CP_UTF8);
    return sapihost::Main(args);
}
