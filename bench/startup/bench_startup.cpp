// Start-up to the first window: the probe is started as a process (exec, the dynamic
// loader, Qt and the program's own set-up all count) and reports the moment its main
// window is first exposed. The same with an empty Qt main window gives the program's
// own share.
//
//   bench_startup [runs]   (default 20)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Milliseconds from spawning the probe to its first exposed window, or -1.
double oneStart(bool empty)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string probe = STARTUP_PROBE;
    std::string flag = "--empty";
    char* argv[] = {probe.data(), empty ? flag.data() : nullptr, nullptr};
    pid_t pid = 0;
    const long long spawned = monotonicNs();
    const int err = posix_spawn(&pid, probe.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (err != 0) {
        close(out[0]);
        return -1;
    }
    char text[64] = {};
    ssize_t got = 0, n;
    while ((n = read(out[0], text + got, sizeof text - 1 - static_cast<std::size_t>(got))) > 0)
        got += n;
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const long long exposed = std::atoll(text);
    return exposed > spawned ? double(exposed - spawned) / 1e6 : -1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    setenv("QT_QPA_PLATFORM", getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "offscreen", 1);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    std::vector<double> program, floor;
    oneStart(false); // warm the file cache
    for (int i = 0; i < runs; ++i) {
        program.push_back(oneStart(false));
        floor.push_back(oneStart(true));
    }
    const double p = median(program), f = median(floor);
    std::printf("start-up to the first window (%s), median of %d: console %.1f ms, empty Qt main window %.1f ms, "
                "the program's own share %.1f ms (goal under 3 ms)\n",
                getenv("QT_QPA_PLATFORM"), runs, p, f, p - f);
    return 0;
}
