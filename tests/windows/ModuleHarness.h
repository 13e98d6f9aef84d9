// The module as a host holds it: loaded by path with LoadLibraryW, its entry
// found with GetProcAddress, its table kept for the cases. Plus the host-side
// helpers the cases share (parameter sets, listings, connections).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ServerApi.h"

namespace wintest {

class LoadedModule {
public:
    explicit LoadedModule(const std::wstring &fileName);  // in FTP_TEST_MODULE_DIR
    ~LoadedModule();
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    HMODULE handle() const { return module_; }
    InitServerAPIFunction Entry() const;  // by name

private:
    HMODULE module_;
};

// The table of the module the road runs on (the one with short waits),
// initialised once per process.
const ServerApiFunctions &Api();

// A parameter set that is destroyed when it goes.
class ParameterSet {
public:
    ParameterSet();
    ~ParameterSet();
    ParameterSet(const ParameterSet &) = delete;
    ParameterSet &operator=(const ParameterSet &) = delete;
    int32_t handle() const { return handle_; }
    void Set(const char *key, const std::wstring &value) const;
    bool Has(const char *key) const;
    std::wstring Get(const char *key) const;  // "" when absent

private:
    int32_t handle_ = 0;
};

// A connection to the test server that is closed when it goes.
class Connection {
public:
    // result: OpenServer's code; handle() is 0 unless it was ApiOk.
    // `follow`: "ServerFollowGrowing", when given.
    explicit Connection(const wchar_t *user = L"user", const wchar_t *password = L"pass",
                        bool verifyByRead = false, bool passive = true, const wchar_t *follow = nullptr);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    int32_t handle() const { return handle_; }
    ServerApiResult result() const { return result_; }

private:
    int32_t handle_ = 0;
    ServerApiResult result_ = ApiFailed;
};

std::vector<std::wstring> Folders(int32_t connection);
std::vector<std::wstring> Assets(int32_t connection);
std::wstring CurrentFolder(int32_t connection);
bool Contains(const std::vector<std::wstring> &list, const std::wstring &name);

// Casts between function pointer types of the same convention, as a host
// that declares a 64-bit argument as two words does.
template <typename To, typename From>
To FunctionCast(From function) {
    return reinterpret_cast<To>(reinterpret_cast<void (*)()>(function));
}

}  // namespace wintest
