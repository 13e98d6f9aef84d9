// A host may unload the module and load it again; with OpenSSL inside, each
// round must leave nothing behind (the sanitizer build checks for leaks and
// for exit handlers into unloaded code).
#include <gtest/gtest.h>

#include "ModuleLoader.h"
#include "TlsTestSupport.h"

namespace sapi::interop {
namespace {

std::u16string Text(const std::string &text) { return std::u16string(text.begin(), text.end()); }

TEST(TlsModuleReload, HundredLoadsEachWithATlsConnection) {
    TlsServer server("pyftpdlib", "explicit", "server");
    const std::pair<const char *, std::string> keys[] = {
        {"ServerPrimaryAddress", "127.0.0.1"},
        {"ServerPrimaryPort", std::to_string(server.server->port())},
        {"ServerPrimaryLoginName", server.server->user()},
        {"ServerPrimaryLoginPassword", server.server->password()},
        {"ServerUsePassive", "1"},
        {"ServerUseTLS", "1"},
        {"ServerTLSCAFile", TestCertificates::Get().caFile().string()},
    };
    for (int round = 0; round < 100; ++round) {
        sapi_test::ModuleLoader module;
        int32_t set = 0;
        ASSERT_EQ(module.table.CreateParameterSet(&set), ApiOk);
        for (const auto &[key, value] : keys) ASSERT_EQ(module.table.SetParameter(set, key, Text(value).c_str()), ApiOk);
        int32_t connection = 0;
        ASSERT_EQ(module.table.OpenServer(set, &connection), ApiOk) << "round " << round;
        module.table.CloseServer(connection);
        module.table.DestroyParameterSet(set);
    }
}

}  // namespace
}  // namespace sapi::interop
