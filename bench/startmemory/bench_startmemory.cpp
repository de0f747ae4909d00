// Memory at start, side by side: the console, GtkTerm and a bare Qt Widgets window,
// each started alone on the same private X display (Xvfb), measured 2 s after it was
// started: its resident set (VmRSS), its proportional share (Pss, which divides the
// pages it shares with other processes) and how many shared libraries it has mapped.
// The programs take turns, so none shares its pages with another one measured.
//
// GtkTerm opens a port as it starts, and the machine's own serial ports may carry a
// console: it is given a pseudo-terminal this benchmark holds.
//
//   bench_startmemory [runs] [console]   (default 5 runs, this build's console; another
//                                          build's console compares before and after)

#include "benchfigures.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr double kMeasureAfterSeconds = 2.0;

void sleepSeconds(double s)
{
    timespec t{};
    t.tv_sec = static_cast<time_t>(s);
    t.tv_nsec = static_cast<long>((s - double(t.tv_sec)) * 1e9);
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

double monotonicSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return bench::seconds(t);
}

bool exists(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0;
}

std::string findProgram(const char* name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// The environment of the programs measured: this one's, on 'display', with Qt left to
// pick its platform as on a desktop.
std::vector<std::string> environmentFor(const std::string& display)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("QT_QPA_PLATFORM=", 0) == 0
            || entry.rfind("WAYLAND_DISPLAY=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("DISPLAY=" + display);
    return env;
}

pid_t spawnQuiet(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int err = posix_spawn(&pid, args.front().c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return err == 0 ? pid : -1;
}

bool running(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    const double deadline = monotonicSeconds() + 5;
    while (running(pid) && monotonicSeconds() < deadline)
        sleepSeconds(0.02);
    if (running(pid)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// A private X server on the first free display from :90 on; stopped with the object.
class PrivateDisplay {
public:
    explicit PrivateDisplay(const std::string& xvfb)
    {
        for (int n = 90; n < 190 && pid_ < 0; ++n) {
            char socket[64], lock[64], name[16];
            std::snprintf(socket, sizeof socket, "/tmp/.X11-unix/X%d", n);
            std::snprintf(lock, sizeof lock, "/tmp/.X%d-lock", n);
            std::snprintf(name, sizeof name, ":%d", n);
            if (exists(socket) || exists(lock))
                continue;
            const pid_t pid = spawnQuiet({xvfb, name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                                         {environ, environ + countEnviron()});
            if (pid < 0)
                return;
            const double deadline = monotonicSeconds() + 20;
            while (running(pid) && !exists(socket) && monotonicSeconds() < deadline)
                sleepSeconds(0.02);
            if (exists(socket) && running(pid)) {
                pid_ = pid;
                name_ = name;
            } else if (running(pid)) {
                stop(pid);
            }
        }
    }
    ~PrivateDisplay()
    {
        if (pid_ > 0)
            stop(pid_);
    }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    bool ok() const { return pid_ > 0; }
    const std::string& name() const { return name_; }

private:
    static std::size_t countEnviron()
    {
        std::size_t n = 0;
        while (environ[n])
            ++n;
        return n;
    }

    pid_t pid_ = -1;
    std::string name_;
};

// A pseudo-terminal held open for the run: its device side is GtkTerm's port.
class HeldPty {
public:
    HeldPty()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
            if (const char* name = ptsname(master_))
                device_ = name;
    }
    ~HeldPty()
    {
        if (master_ >= 0)
            close(master_);
    }
    HeldPty(const HeldPty&) = delete;
    HeldPty& operator=(const HeldPty&) = delete;

    const std::string& device() const { return device_; }

private:
    int master_ = -1;
    std::string device_;
};

struct Footprint {
    double rssMiB = 0;
    double pssMiB = 0;
    double libraries = 0;
};

// Distinct files mapped whose names say they are shared objects (libraries and the Qt
// plugins dlopen'ed on the way).
int mappedLibraries(pid_t pid)
{
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::set<std::string> names;
    std::string line;
    while (std::getline(maps, line)) {
        const std::size_t slash = line.find('/');
        if (slash == std::string::npos)
            continue;
        const std::string path = line.substr(slash);
        const std::size_t base = path.rfind('/');
        if (path.find(".so", base) != std::string::npos)
            names.insert(path);
    }
    return int(names.size());
}

// Starts 'args' on the display, measures it after the wait, stops it; false when it
// did not live that long.
bool measure(const std::vector<std::string>& args, const std::vector<std::string>& env, Footprint& out)
{
    const pid_t pid = spawnQuiet(args, env);
    if (pid < 0)
        return false;
    sleepSeconds(kMeasureAfterSeconds);
    const std::string proc = "/proc/" + std::to_string(pid);
    bool ok = running(pid);
    if (ok) {
        const long rss = bench::procKiB(proc + "/status", "VmRSS:");
        const long pss = bench::procKiB(proc + "/smaps_rollup", "Pss:");
        out = {double(rss) / 1024, double(pss) / 1024, double(mappedLibraries(pid))};
        ok = rss > 0 && pss > 0;
    }
    stop(pid);
    return ok;
}

struct Column {
    std::string title;
    std::vector<std::string> args;
    std::vector<Footprint> runs;
    bool failed = false;
};

double medianOf(const std::vector<Footprint>& runs, double Footprint::*field)
{
    std::vector<double> values;
    for (const Footprint& f : runs)
        values.push_back(f.*field);
    return bench::percentile(values, 0.5);
}

void printRow(const Column& c)
{
    auto figure = [&c](double Footprint::*field, const char* unit) {
        std::vector<double> values;
        for (const Footprint& f : c.runs)
            values.push_back(f.*field);
        std::printf("  %s %.1f/%.1f/%.1f%s", field == &Footprint::rssMiB ? "RSS" : field == &Footprint::pssMiB ? "Pss" : "libraries",
                    bench::percentile(values, 0), bench::percentile(values, 0.5), bench::percentile(values, 1), unit);
    };
    std::printf("%-28s", c.title.c_str());
    figure(&Footprint::rssMiB, " MiB");
    figure(&Footprint::pssMiB, " MiB");
    figure(&Footprint::libraries, "");
    std::printf("\n");
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

} // namespace

int main(int argc, char* argv[])
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string consoleProgram = argc > 2 ? argv[2] : CONSOLE_PROGRAM;
    std::string xvfb = findProgram("Xvfb");
    if (xvfb.empty() && access("/usr/bin/Xvfb", X_OK) == 0)
        xvfb = "/usr/bin/Xvfb";
    if (xvfb.empty()) {
        std::printf("skipped: Xvfb is not installed (apt-get install xvfb)\n");
        return 0;
    }
    PrivateDisplay display(xvfb);
    if (!display.ok()) {
        std::printf("skipped: no private X display could be started with %s\n", xvfb.c_str());
        return 0;
    }
    const std::vector<std::string> env = environmentFor(display.name());
    HeldPty pty;

    std::vector<Column> columns;
    columns.push_back({"console", {consoleProgram}, {}});
    columns.push_back({"console, meter mode", {consoleProgram, "--mode", "erk"}, {}});
    const std::string gtkterm = findProgram("gtkterm");
    if (gtkterm.empty())
        std::printf("skipped: GtkTerm is not installed (its column is left out)\n");
    else if (pty.device().empty())
        std::printf("skipped: GtkTerm, no pseudo-terminal for its port\n");
    else
        columns.push_back({"GtkTerm", {gtkterm, "--port", pty.device()}, {}});
    columns.push_back({"bare Qt Widgets window", {BARE_WINDOW_PROBE}, {}});

    std::printf("memory %.0f s after start on Xvfb %s, %d runs each, min/median/max; console: %s\n",
                kMeasureAfterSeconds, display.name().c_str(), runs, consoleProgram.c_str());
    std::printf("load average before: %s\n", loadAverage().c_str());
    // A first start of each fills the file cache, as a user's second start finds it.
    for (Column& c : columns) {
        Footprint warm;
        if (!measure(c.args, env, warm)) {
            std::printf("%s did not run for %.0f s: left out\n", c.title.c_str(), kMeasureAfterSeconds);
            c.failed = true;
        }
    }
    for (int run = 0; run < runs; ++run) {
        for (Column& c : columns) {
            Footprint f;
            if (!c.failed && measure(c.args, env, f))
                c.runs.push_back(f);
        }
    }
    for (const Column& c : columns)
        if (!c.runs.empty())
            printRow(c);
    std::printf("load average after: %s\n", loadAverage().c_str());

    const Column* console = &columns[0];
    const Column* bare = &columns.back();
    const Column* peer = nullptr;
    for (const Column& c : columns)
        if (c.title == "GtkTerm" && !c.runs.empty())
            peer = &c;
    if (console->runs.empty())
        return 1;
    if (peer)
        std::printf("console / GtkTerm: RSS %.2f×, Pss %.2f× (goal: RSS at or below 1.00×)\n",
                    medianOf(console->runs, &Footprint::rssMiB) / medianOf(peer->runs, &Footprint::rssMiB),
                    medianOf(console->runs, &Footprint::pssMiB) / medianOf(peer->runs, &Footprint::pssMiB));
    if (!bare->runs.empty())
        std::printf("the console's own share over the bare window: RSS %.1f MiB, Pss %.1f MiB, %.0f libraries\n",
                    medianOf(console->runs, &Footprint::rssMiB) - medianOf(bare->runs, &Footprint::rssMiB),
                    medianOf(console->runs, &Footprint::pssMiB) - medianOf(bare->runs, &Footprint::pssMiB),
                    medianOf(console->runs, &Footprint::libraries) - medianOf(bare->runs, &Footprint::libraries));
    return 0;
}
