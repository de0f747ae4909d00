#include "minitest.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

namespace minitest {

namespace {

struct Case {
    const char* name;
    void (*run)();
};

std::vector<Case>& cases()
{
    static std::vector<Case> all;
    return all;
}

std::vector<std::string> rows;
int failures = 0;

} // namespace

void registerCase(const char* name, void (*run)()) { cases().push_back({name, run}); }

void fail(const char* file, int line, const std::string& what)
{
    ++failures;
    std::string where;
    for (const std::string& row : rows)
        where += " [" + row + "]";
    std::printf("  FAIL %s:%d%s: %s\n", file, line, where.c_str(), what.c_str());
    std::fflush(stdout);
}

void note(const std::string& text)
{
    std::printf("  NOTE %s\n", text.c_str());
    std::fflush(stdout);
}

Row::Row(std::string name) { rows.push_back(std::move(name)); }
Row::~Row() { rows.pop_back(); }

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int runAll(int argc, char** argv)
{
    int failed = 0, skipped = 0, run = 0;
    for (const Case& c : cases()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || std::strcmp(argv[i], c.name) == 0;
        if (!wanted)
            continue;
        ++run;
        std::printf("%s\n", c.name);
        std::fflush(stdout);
        const int before = failures;
        bool wasSkipped = false;
        rows.clear();
        try {
            c.run();
        } catch (const Abort&) {
        } catch (const Skipped& s) {
            ++skipped;
            wasSkipped = true;
            std::printf("  SKIP %s\n", s.reason.c_str());
        } catch (const std::exception& e) {
            fail(c.name, 0, std::string("exception: ") + e.what());
        } catch (...) {
            fail(c.name, 0, "unknown exception");
        }
        if (failures != before)
            ++failed;
        std::printf("  %s\n", failures != before ? "failed" : wasSkipped ? "skipped" : "passed");
        std::fflush(stdout);
    }
    std::printf("%d cases, %d failed, %d skipped\n", run, failed, skipped);
    return failed == 0 && run > 0 ? 0 : 1;
}

} // namespace minitest
