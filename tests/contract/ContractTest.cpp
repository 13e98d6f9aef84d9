// The contract of the FTP client services on Linux: every case on the scripted
// fake the core's unit tests trust, and on the plug-in's own client against a
// real server. Neither may depart from it.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "ContractCases.h"
#include "FakeWorld.h"
#include "ServerWorld.h"

namespace sapi::contract {
namespace {

enum class Implementation { Fake, Own };
void PrintTo(Implementation implementation, std::ostream *out) {
    *out << (implementation == Implementation::Fake ? "the scripted fake" : "the own client");
}

std::unique_ptr<ContractWorld> MakeWorld(Implementation implementation) {
    if (implementation == Implementation::Fake) return std::make_unique<FakeWorld>();
    return std::make_unique<ServerWorld>();
}

using Param = std::tuple<Implementation, std::size_t>;

class Contract : public ::testing::TestWithParam<Param> {};

TEST_P(Contract, Holds) {
    const auto [implementation, index] = GetParam();
    std::unique_ptr<ContractWorld> world = MakeWorld(implementation);
    const Verdict verdict = Judge(ContractCases().at(index), *world, {});
    EXPECT_TRUE(verdict.passed) << verdict.report;
}

std::string CaseName(const ::testing::TestParamInfo<Param> &info) {
    const auto [implementation, index] = info.param;
    return std::string(implementation == Implementation::Fake ? "Fake_" : "Own_") +
           ContractCases().at(index).name;
}

INSTANTIATE_TEST_SUITE_P(Services, Contract,
                         ::testing::Combine(::testing::Values(Implementation::Fake, Implementation::Own),
                                            ::testing::Range<std::size_t>(0, ContractCases().size())),
                         CaseName);

}  // namespace
}  // namespace sapi::contract
