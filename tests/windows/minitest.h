#pragma once
// A test harness small enough to read at once, for the test programs that run under
// Wine: there is no Qt Test for Windows here. Cases register themselves with
// TEST_CASE; CHECK records a failure and goes on, REQUIRE ends the case, SKIP ends it
// as skipped with a reason. A Row names the data row a failure belongs to. The program
// runs every case (or those named on its command line) and exits 1 when one failed.

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <type_traits>

namespace minitest {

struct Abort {};
struct Skipped {
    std::string reason;
};

void registerCase(const char* name, void (*run)());
void fail(const char* file, int line, const std::string& what);
int runAll(int argc, char** argv);
// A line in the log that is neither failure nor noise: what a run found out.
void note(const std::string& text);

// Names the data row of the failures that happen while it lives.
class Row {
public:
    explicit Row(std::string name);
    ~Row();
    Row(const Row&) = delete;
    Row& operator=(const Row&) = delete;
};

// Polls `done` until it holds or `timeout` has passed; the result of the last poll.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

template <class T>
std::string show(const T& value)
{
    if constexpr (std::is_convertible_v<T, std::string>) {
        // Appended, not `"\"" + text`: GCC 12 warns falsely (-Wrestrict) about the
        // insert that operator+ makes at -O2.
        std::string quoted(1, '"');
        quoted.append(std::string(value)).push_back('"');
        return quoted;
    } else if constexpr (std::is_enum_v<T>) {
        return std::to_string(static_cast<long long>(value));
    } else {
        std::ostringstream out;
        out << value;
        return out.str();
    }
}

template <class A, class B>
bool checkEqual(const A& actual, const B& expected, const char* a, const char* b, const char* file, int line)
{
    if (actual == expected)
        return true;
    fail(file, line, std::string(a) + " == " + b + "\n      actual:   " + show(actual) + "\n      expected: " + show(expected));
    return false;
}

struct Registrar {
    Registrar(const char* name, void (*run)()) { registerCase(name, run); }
};

} // namespace minitest

#define TEST_CASE(name)                                                                                      \
    static void name();                                                                                      \
    static const minitest::Registrar name##Registrar(#name, name);                                           \
    static void name()
#define CHECK(cond) ((cond) ? void() : minitest::fail(__FILE__, __LINE__, #cond))
#define CHECK_EQ(actual, expected) (void)minitest::checkEqual((actual), (expected), #actual, #expected, __FILE__, __LINE__)
#define REQUIRE(cond)                                                                                        \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            minitest::fail(__FILE__, __LINE__, #cond);                                                       \
            throw minitest::Abort{};                                                                         \
        }                                                                                                    \
    } while (0)
#define REQUIRE_EQ(actual, expected)                                                                         \
    do {                                                                                                     \
        if (!minitest::checkEqual((actual), (expected), #actual, #expected, __FILE__, __LINE__))             \
            throw minitest::Abort{};                                                                         \
    } while (0)
#define SKIP(reason) throw minitest::Skipped{reason}
