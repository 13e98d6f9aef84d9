// Loads a built module the way a host does: open the library, look up its one
// export, call InitServerAPI(3, &table). Header-only and free of the core, so any
// test suite can drive the module through its table alone.
//
//   sapi_test::ModuleLoader module;                  // PelkSAPIFTP.so of this build
//   sapi_test::ModuleLoader quick(sapi_test::ModulePath("PelkSAPIFTP-shortwaits"));
//   module.table.CreateParameterSet(&set);
//
// The destructor calls ReleaseServerAPI and unloads the module, so the next
// loader starts from a freshly loaded module (handle counters at 1 again).
#pragma once

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "ServerApi.h"

namespace sapi_test {

// ${SAPI_BINARY_DIR}/PelkSAPIFTP/<name>.so (.dll on Windows).
inline std::string ModulePath(const std::string &name = "PelkSAPIFTP") {
    const char *binaryDir = std::getenv("SAPI_BINARY_DIR");
    if (binaryDir == nullptr || *binaryDir == '\0') {
        throw std::runtime_error("SAPI_BINARY_DIR is not set");
    }
#if defined(_WIN32)
    const char *suffix = ".dll";
#else
    const char *suffix = ".so";
#endif
    return std::string(binaryDir) + "/PelkSAPIFTP/" + name + suffix;
}

class ModuleLoader {
public:
    explicit ModuleLoader(const std::string &path = ModulePath())
        : library_(Open(path)), init(Entry(library_.get(), path)), table(Initialise(init)) {}
    ~ModuleLoader() { table.ReleaseServerAPI(); }
    ModuleLoader(const ModuleLoader &) = delete;
    ModuleLoader &operator=(const ModuleLoader &) = delete;

private:
#if defined(_WIN32)
    struct Unload {
        void operator()(HMODULE library) const { FreeLibrary(library); }
    };
    using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, Unload>;
    static Library Open(const std::string &path) {
        Library library(LoadLibraryA(path.c_str()));
        if (!library) throw std::runtime_error("cannot load " + path);
        return library;
    }
    static InitServerAPIFunction Entry(HMODULE library, const std::string &path) {
        auto entry = reinterpret_cast<InitServerAPIFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, SERVER_API_ENTRY_NAME)));
        if (entry == nullptr) throw std::runtime_error(path + " does not export " SERVER_API_ENTRY_NAME);
        return entry;
    }
#else
    struct Unload {
        void operator()(void *library) const { dlclose(library); }
    };
    using Library = std::unique_ptr<void, Unload>;
    static Library Open(const std::string &path) {
        Library library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
        if (!library) throw std::runtime_error("cannot load " + path + ": " + dlerror());
        return library;
    }
    static InitServerAPIFunction Entry(void *library, const std::string &path) {
        auto entry = reinterpret_cast<InitServerAPIFunction>(dlsym(library, SERVER_API_ENTRY_NAME));
        if (entry == nullptr) throw std::runtime_error(path + " does not export " SERVER_API_ENTRY_NAME);
        return entry;
    }
#endif
    static const ServerApiFunctions &Initialise(InitServerAPIFunction entry) {
        const ServerApiFunctions *functions = nullptr;
        const ServerApiResult result = entry(SERVER_API_VERSION, &functions);
        if (result != ApiOk || functions == nullptr) {
            throw std::runtime_error("InitServerAPI(3) failed with " + std::to_string(result));
        }
        return *functions;
    }

    Library library_;

public:
    // The module's export, for tests of InitServerAPI itself.
    const InitServerAPIFunction init;
    // The table that InitServerAPI(3) handed out.
    const ServerApiFunctions &table;
};

}  // namespace sapi_test
