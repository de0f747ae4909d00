// What other programs' terminals cost the port watcher: another program (this one again,
// with --churn) opens and closes pseudo-terminals at a steady rate while the watcher, and
// then the whole console on the offscreen screen, sits with no port, with a virtual port
// on a live terminal, and with a virtual port whose terminal is gone. Each window with the
// churn is set against an idle window of the same length: the wake-ups the churn adds
// (voluntary context switches of the watcher's thread, or of every thread of the console)
// and how often the watcher's handler ran. A figure is the median over the runs, with the
// least and the most beside it.
//
//   bench_portwatcher [seconds per window] [runs] [terminals per second]   (10 3 10)
//   bench_portwatcher --churn <terminals per second> <seconds>            (the other program)

#include "benchfigures.h"
#include "portwatcher.h"
#include "ptypair.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

using qldixw::testing::PtyPair;

std::string selfPath;

// The other program: a terminal opened and closed (both sides) every 1/rate s, on a
// fixed schedule so a slow turn does not stretch the run.
int churn(double rate, double seconds)
{
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const long stepNs = static_cast<long>(1e9 / rate);
    const int count = static_cast<int>(rate * seconds);
    for (int i = 0; i < count; ++i) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return 1;
        char name[128];
        if (ptsname_r(master, name, sizeof name) == 0) {
            const int port = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (port >= 0)
                close(port);
        }
        close(master);
        next.tv_nsec += stepNs;
        while (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
        }
    }
    return 0;
}

pid_t spawn(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {})
{
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env(extraEnv);
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e); // the first of a name wins: ours come first
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

pid_t startChurn(double rate, double seconds)
{
    return spawn({selfPath, "--churn", std::to_string(rate), std::to_string(seconds)});
}

void finish(pid_t pid)
{
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct Figures {
    std::vector<double> idle, churned, handler, cpuMs;
};

void printRow(const char* what, const std::vector<double>& values, double seconds)
{
    std::printf("    %-44s median %7.2f /s   (min %.2f, max %.2f)\n", what,
                bench::percentile(values, 0.5) / seconds, bench::percentile(values, 0) / seconds,
                bench::percentile(values, 1) / seconds);
}

// The machine as the cases set it up: a private runtime folder with the virtual ports
// folder, and maybe a port linked in it.
enum class Port { None, Live, Gone };

const char* describe(Port port)
{
    switch (port) {
    case Port::None:
        return "no virtual port";
    case Port::Live:
        return "virtual port on a live terminal";
    case Port::Gone:
        return "virtual port whose terminal is gone (its folder is watched)";
    }
    return "";
}

struct Machine {
    QTemporaryDir root;
    std::unique_ptr<PtyPair> device;
    QString runtime() const { return root.filePath(QStringLiteral("run")); }
    QString ports() const { return root.filePath(QStringLiteral("run/qldixw/ports")); }

    explicit Machine(Port port)
    {
        QDir().mkpath(ports());
        for (const QString& dir : {runtime(), runtime() + "/qldixw", ports()})
            ::chmod(QFile::encodeName(dir).constData(), 0700);
        if (port == Port::None)
            return;
        if (port == Port::Gone) {
            // A number above kernel.pty.max: a gone terminal's own number is soon taken by
            // the next terminal anyone opens, and the link would lead somewhere again.
            QFile::link(QStringLiteral("/dev/pts/1048575"), ports() + "/COM5");
            return;
        }
        device = std::make_unique<PtyPair>();
        QFile::link(QString::fromStdString(device->portPath()), ports() + "/COM5");
    }
};

long threadVoluntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

void runFor(double seconds)
{
    QTimer::singleShot(static_cast<int>(seconds * 1000), qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

void watcherAlone(Port port, double seconds, int runs, double rate)
{
    Machine machine(port);
    ports::PortWatcher watcher(ports::PortRoots{QStringLiteral("/sys"), QStringLiteral("/dev"), machine.ports()});
    runFor(0.3); // what setting up the watch stirred has settled
    Figures f;
    for (int run = 0; run < runs; ++run) {
        for (const bool withChurn : {false, true}) {
            const long switches = threadVoluntarySwitches();
            const int wakeUps = watcher.wakeUps();
            const double cpu = bench::threadCpuSeconds(pthread_self());
            const pid_t child = withChurn ? startChurn(rate, seconds) : -1;
            runFor(seconds);
            const double woken = double(threadVoluntarySwitches() - switches);
            (withChurn ? f.churned : f.idle).push_back(woken);
            if (withChurn) {
                f.handler.push_back(watcher.wakeUps() - wakeUps);
                f.cpuMs.push_back((bench::threadCpuSeconds(pthread_self()) - cpu) * 1000);
            }
            finish(child);
        }
    }
    std::vector<double> added;
    for (int i = 0; i < runs; ++i)
        added.push_back(f.churned[size_t(i)] - f.idle[size_t(i)]);
    std::printf("  %s\n", describe(port));
    printRow("thread wake-ups, idle", f.idle, seconds);
    printRow("thread wake-ups, churn", f.churned, seconds);
    printRow("wake-ups the churn adds", added, seconds);
    printRow("watcher's handler runs, churn", f.handler, seconds);
    printRow("thread CPU ms, churn", f.cpuMs, seconds);
}

#ifdef QLDIXW_CONSOLE
// Voluntary context switches of each thread of a process by its id, and the process's CPU
// seconds. Threads come and go in the console (the serial event thread with the port):
// a window counts what each thread that lived through any of it did there.
struct ProcessCounts {
    std::map<std::string, long> switches;
    double cpu = 0;
};

long switchesIn(const std::string& statusPath)
{
    std::ifstream status(statusPath);
    std::string word;
    while (status >> word) {
        if (word == "voluntary_ctxt_switches:") {
            long n = 0;
            status >> n;
            return n;
        }
    }
    return 0;
}

ProcessCounts processCounts(pid_t pid)
{
    ProcessCounts counts;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        counts.switches[task.toStdString()] = switchesIn(tasks.filePath(task + "/status").toStdString());
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close != std::string::npos) {
        std::vector<std::string> fields;
        std::string field;
        for (char c : text.substr(close + 2)) {
            if (c == ' ') {
                fields.push_back(field);
                field.clear();
            } else {
                field += c;
            }
        }
        // utime and stime: the 14th and 15th fields of the line, the 12th and 13th after the name.
        if (fields.size() > 12)
            counts.cpu = double(std::atol(fields[11].c_str()) + std::atol(fields[12].c_str())) / double(sysconf(_SC_CLK_TCK));
    }
    return counts;
}

// Wake-ups between two looks: of the main thread (where the watcher runs), and of all.
std::pair<double, double> wokenBetween(const ProcessCounts& before, const ProcessCounts& after, pid_t pid)
{
    double all = 0, main = 0;
    for (const auto& [task, count] : after.switches) {
        const auto earlier = before.switches.find(task);
        const long woken = count - (earlier == before.switches.end() ? 0 : earlier->second);
        all += double(woken);
        if (task == std::to_string(pid))
            main = double(woken);
    }
    return {main, all};
}

void sleepFor(double seconds)
{
    timespec t{static_cast<time_t>(seconds), static_cast<long>((seconds - double(static_cast<time_t>(seconds))) * 1e9)};
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {
    }
}

void wholeConsole(Port port, double seconds, int runs, double rate)
{
    Machine machine(port);
    const std::string home = machine.root.filePath(QStringLiteral("home")).toStdString();
    QDir().mkpath(QString::fromStdString(home));
    std::vector<std::string> args{QLDIXW_CONSOLE};
    if (port == Port::Live) {
        args.emplace_back("--port");
        args.emplace_back("COM5");
    }
    const pid_t console = spawn(args, {"QT_QPA_PLATFORM=offscreen", "HOME=" + home,
                                       "XDG_CONFIG_HOME=" + home + "/.config",
                                       "XDG_RUNTIME_DIR=" + machine.runtime().toStdString()});
    if (console < 0) {
        std::printf("  %s: the console did not start\n", describe(port));
        return;
    }
    sleepFor(3); // start-up done and settled
    Figures main, all;
    for (int run = 0; run < runs; ++run) {
        for (const bool withChurn : {false, true}) {
            const ProcessCounts before = processCounts(console);
            const pid_t child = withChurn ? startChurn(rate, seconds) : -1;
            sleepFor(seconds);
            const ProcessCounts after = processCounts(console);
            const auto [mainWoken, allWoken] = wokenBetween(before, after, console);
            (withChurn ? main.churned : main.idle).push_back(mainWoken);
            (withChurn ? all.churned : all.idle).push_back(allWoken);
            (withChurn ? all.cpuMs : all.handler).push_back((after.cpu - before.cpu) * 1000);
            finish(child);
        }
    }
    kill(console, SIGTERM);
    finish(console);
    std::vector<double> mainAdded, allAdded;
    for (size_t i = 0; i < size_t(runs); ++i) {
        mainAdded.push_back(main.churned[i] - main.idle[i]);
        allAdded.push_back(all.churned[i] - all.idle[i]);
    }
    std::printf("  %s%s\n", describe(port), port == Port::Live ? ", the port open in the console" : "");
    printRow("main thread wake-ups, idle", main.idle, seconds);
    printRow("main thread wake-ups, churn", main.churned, seconds);
    printRow("main thread wake-ups the churn adds", mainAdded, seconds);
    printRow("all threads' wake-ups, idle", all.idle, seconds);
    printRow("all threads' wake-ups the churn adds", allAdded, seconds);
    printRow("process CPU ms, idle (10 ms ticks)", all.handler, seconds);
    printRow("process CPU ms, churn (10 ms ticks)", all.cpuMs, seconds);
}
#endif

} // namespace

int main(int argc, char* argv[])
{
    selfPath = argv[0][0] == '/' ? argv[0] : std::string(get_current_dir_name()) + "/" + argv[0];
    if (argc == 4 && std::string(argv[1]) == "--churn")
        return churn(std::atof(argv[2]), std::atof(argv[3]));
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const double rate = argc > 3 ? std::atof(argv[3]) : 10;
    if (seconds <= 0 || runs <= 0 || rate <= 0) {
        std::fprintf(stderr, "usage: bench_portwatcher [seconds per window] [runs] [terminals per second]\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    std::printf("Another program opens and closes %.0f terminals a second; windows of %.0f s, %d runs.\n"
                "Load average at start: %s\n",
                rate, seconds, runs, loadAverage().c_str());
    std::printf("The watcher alone (this process's main thread):\n");
    for (const Port port : {Port::None, Port::Live, Port::Gone})
        watcherAlone(port, seconds, runs, rate);
#ifdef QLDIXW_CONSOLE
    std::printf("The whole console (offscreen, every thread):\n");
    for (const Port port : {Port::None, Port::Live, Port::Gone})
        wholeConsole(port, seconds, runs, rate);
#else
    std::printf("The whole console: skipped, the program's windows are not built.\n");
#endif
    std::printf("Load average at the end: %s\n", loadAverage().c_str());
    return 0;
}
