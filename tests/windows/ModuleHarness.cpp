#include "ModuleHarness.h"

#include <cstdio>
#include <cstdlib>

#include "TestEnvironment.h"

namespace wintest {

namespace {

std::wstring ModuleDirectory() {
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"FTP_TEST_MODULE_DIR", value, 1024);
    if (length == 0 || length >= 1024) {
        std::printf("FTP_TEST_MODULE_DIR is not set (run tools/test-windows.sh)\n");
        std::exit(2);
    }
    return value;
}

std::vector<std::wstring> Listing(int32_t connection, ListingTextFunction slot) {
    std::vector<std::wstring> names;
    for (int32_t index = 0;; ++index) {
        ServerApiChar text[300] = {};
        uint32_t length = 300;
        if (slot(connection, index, text, &length) != ApiOk) {
            return names;
        }
        names.emplace_back(text);
    }
}

}  // namespace

LoadedModule::LoadedModule(const std::wstring &fileName)
    : module_(LoadLibraryW((ModuleDirectory() + L"\\" + fileName).c_str())) {
    if (module_ == nullptr) {
        std::printf("cannot load the module (error %lu)\n", GetLastError());
        std::exit(2);
    }
}

LoadedModule::~LoadedModule() { FreeLibrary(module_); }

InitServerAPIFunction LoadedModule::Entry() const {
    return FunctionCast<InitServerAPIFunction>(GetProcAddress(module_, SERVER_API_ENTRY_NAME));
}

const ServerApiFunctions &Api() {
    static LoadedModule module(ModuleUnderTest());
    static const ServerApiFunctions *table = [] {
        const ServerApiFunctions *t = nullptr;
        const InitServerAPIFunction entry = module.Entry();
        if (entry == nullptr || entry(SERVER_API_VERSION, &t) != ApiOk || t == nullptr) {
            std::printf("InitServerAPI failed\n");
            std::exit(2);
        }
        return t;
    }();
    return *table;
}

ParameterSet::ParameterSet() { Api().CreateParameterSet(&handle_); }
ParameterSet::~ParameterSet() { Api().DestroyParameterSet(handle_); }

void ParameterSet::Set(const char *key, const std::wstring &value) const {
    Api().SetParameter(handle_, key, value.c_str());
}

bool ParameterSet::Has(const char *key) const {
    uint32_t length = 0;
    return Api().GetParameter(handle_, key, nullptr, &length) == ApiOk;
}

std::wstring ParameterSet::Get(const char *key) const {
    ServerApiChar text[1100] = {};
    uint32_t length = 1100;
    return Api().GetParameter(handle_, key, text, &length) == ApiOk ? std::wstring(text) : L"";
}

Connection::Connection(const wchar_t *user, const wchar_t *password, bool verifyByRead, bool passive,
                       const wchar_t *follow) {
    ParameterSet settings;
    settings.Set("ServerPrimaryAddress", L"127.0.0.1");
    settings.Set("ServerPrimaryPort", std::to_wstring(ServerPort()));
    settings.Set("ServerPrimaryLoginName", user);
    settings.Set("ServerPrimaryLoginPassword", password);
    settings.Set("ServerUsePassive", passive ? L"1" : L"0");
    settings.Set("ServerVerifyByRead", verifyByRead ? L"1" : L"0");
    if (follow != nullptr) settings.Set("ServerFollowGrowing", follow);
    int32_t handle = 0;
    result_ = Api().OpenServer(settings.handle(), &handle);
    handle_ = result_ == ApiOk ? handle : 0;
}

Connection::~Connection() {
    if (handle_ != 0) Api().CloseServer(handle_);
}

std::vector<std::wstring> Folders(int32_t connection) { return Listing(connection, Api().GetFolderName); }
std::vector<std::wstring> Assets(int32_t connection) { return Listing(connection, Api().GetAssetName); }

std::wstring CurrentFolder(int32_t connection) {
    ServerApiChar first[1100] = {};
    ServerApiChar second[1100] = {};
    uint32_t length = 1100;
    return Api().GetCurrentFolder(connection, first, second, &length) == ApiOk ? std::wstring(first)
                                                                               : L"<failed>";
}

bool Contains(const std::vector<std::wstring> &list, const std::wstring &name) {
    for (const std::wstring &entry : list) {
        if (entry == name) return true;
    }
    return false;
}

}  // namespace wintest
