// A small test runner for the Windows suite (GoogleTest is not built for
// MinGW here). TEST_CASE(name) registers a case; CHECK records a failure and
// goes on, so one run reports every broken expectation of a case.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>

namespace wintest {

using CaseFunction = void (*)();

struct Registrar {
    Registrar(const char *name, CaseFunction function);
};

void ReportFailure(const char *file, int line, const std::string &what);

// Runs the cases whose name contains filter (all when null); returns the
// number of failed cases.
int RunCases(const char *filter);

template <typename T>
std::string Show(const T &value) {
    std::ostringstream out;
    out << value;
    return out.str();
}
std::string Show(const std::wstring &text);  // as UTF-8, quoted
std::string Show(const std::string &text);   // quoted

// Integers compare by value, whatever their types (DWORD, uint32_t, long).
template <typename A, typename B>
bool Equal(const A &a, const B &b) {
    if constexpr (std::is_integral_v<A> && std::is_integral_v<B>) {
        return std::cmp_equal(a, b);
    } else {
        return a == b;
    }
}

template <typename A, typename B>
std::string Describe(const A &actual, const B &expected) {
    return "got " + Show(actual) + ", expected " + Show(expected);
}

}  // namespace wintest

#define TEST_CASE(name)                                                 \
    static void name();                                                 \
    static const ::wintest::Registrar name##Registrar(#name, &name);    \
    static void name()

#define CHECK(condition)                                                          \
    do {                                                                          \
        if (!(condition)) ::wintest::ReportFailure(__FILE__, __LINE__, #condition); \
    } while (0)

#define CHECK_EQ(actual, expected)                                                       \
    do {                                                                                 \
        const auto &actualValue_ = (actual);                                             \
        const auto &expectedValue_ = (expected);                                         \
        if (!::wintest::Equal(actualValue_, expectedValue_))                                           \
            ::wintest::ReportFailure(__FILE__, __LINE__,                                 \
                                     std::string(#actual " == " #expected ": ") +        \
                                         ::wintest::Describe(actualValue_, expectedValue_)); \
    } while (0)
