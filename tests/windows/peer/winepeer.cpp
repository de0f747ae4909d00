// The Linux side of the Windows tests: runs a test program under Wine and plays the
// devices on its COM ports.
//
//   qldixw-winepeer <command...>      e.g. qldixw-winepeer wine64 test_win_commport_events.exe
//
// The command runs with QLDIXW_PEER=127.0.0.1:<port> in its environment; the test
// connects there and asks, one line at a time, for what only Linux can do: make a
// pseudo-terminal and publish it as a COM port of the Wine prefix ($WINEPREFIX/
// dosdevices/comN), send and receive bytes on its device side, stop its output, flood
// it, read its terminal settings, unplug the device. Every request is answered with one
// line ("ok ..." or "err ..."), so the test and the device take turns without guessing
// how long anything takes. The peer exits with the command's status, after removing
// every link it made.
//
// It refuses to start the command (exit status 3) while the prefix has a COM port it did
// not make: Wine links com1 to the machine's /dev/ttyS0 whenever the prefix's services
// start, and on these machines that can be a live system console.

#include "ptypair.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using qldixw::testing::PtyPair;
using namespace std::chrono_literals;

namespace {

// COM numbers the peer publishes: far above the ports Wine links to the machine's own
// serial devices (com1 upwards), so a test never reaches a real port.
constexpr int kFirstCom = 100;
constexpr int kLastCom = 250;
// Where an unplugged device's link leads: among the pseudo-terminals, where no terminal
// is ever called so.
constexpr const char* kUnpluggedTarget = "/dev/pts/qldixw-unplugged";

std::string toHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

bool fromHex(const std::string& hex, std::string& bytes)
{
    if (hex.size() % 2)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const auto nibble = [](char c) {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            return -1;
        };
        const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

// Writes on the device side without pause until stopped.
class Flood {
public:
    explicit Flood(int fd)
        : thread_([this, fd] {
              std::string chunk(512, '\0');
              for (std::size_t i = 0; i < chunk.size(); ++i)
                  chunk[i] = char((i * 7 + 93) % 251);
              while (!stop_.load()) {
                  if (::write(fd, chunk.data(), chunk.size()) <= 0) {
                      pollfd p{fd, POLLOUT, 0};
                      ::poll(&p, 1, 5); // full, or the port side is not open
                  }
              }
          })
    {
    }
    ~Flood()
    {
        stop_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// One published device: the pair, its link, and what the test set going on it.
struct Device {
    std::unique_ptr<PtyPair> pair;
    std::string link;
    int stallFd = -1;
    std::unique_ptr<Flood> flood;

    void unstall()
    {
        if (stallFd >= 0) {
            ::tcflow(stallFd, TCOON);
            ::close(stallFd);
        }
        stallFd = -1;
    }
    ~Device()
    {
        flood.reset();
        unstall();
        if (!link.empty())
            ::unlink(link.c_str());
    }
};

class Peer {
public:
    explicit Peer(std::string dosdevices) : dosdevices_(std::move(dosdevices)) {}

    std::string handle(const std::string& line)
    {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        try {
            if (verb == "open")
                return open(in);
            int com = 0;
            in >> com;
            const auto it = devices_.find(com);
            if (it == devices_.end())
                return "err no device COM" + std::to_string(com);
            Device& d = *it->second;
            if (verb == "send")
                return send(d, in);
            if (verb == "recv")
                return recv(d, in);
            if (verb == "recvuntil")
                return recvUntil(d, in);
            if (verb == "settings")
                return settings(d);
            if (verb == "stall")
                return stall(d);
            if (verb == "unstall") {
                d.unstall();
                return "ok";
            }
            if (verb == "flood") {
                std::string on;
                in >> on;
                d.flood.reset();
                if (on == "on" && d.pair)
                    d.flood = std::make_unique<Flood>(d.pair->deviceFd());
                return "ok";
            }
            if (verb == "unplug") {
                // The name goes first, as with an adapter pulled: from then on it
                // leads nowhere. The link stays, dangling, so that the number stays
                // ours: a test running beside this one would otherwise publish its
                // device under it, and the vanished name would open that.
                d.flood.reset();
                d.unstall();
                const std::string dangling = d.link + ".unplugged";
                if (::symlink(kUnpluggedTarget, dangling.c_str()) != 0 ||
                    ::rename(dangling.c_str(), d.link.c_str()) != 0)
                    return std::string("err cannot unplug: ") + std::strerror(errno);
                d.pair.reset();
                return "ok";
            }
            if (verb == "replug")
                return replug(d, in);
            return "err unknown request: " + line;
        } catch (const std::exception& e) {
            return std::string("err ") + e.what();
        }
    }

private:
    static PtyPair::Start startOf(std::istream& in)
    {
        std::string start;
        in >> start;
        return start == "defaults" ? PtyPair::Start::KernelDefaults : PtyPair::Start::Raw;
    }

    std::string open(std::istream& in)
    {
        auto device = std::make_unique<Device>();
        device->pair = std::make_unique<PtyPair>(startOf(in));
        // Another peer may publish at the same time: a number is ours once our link
        // is made.
        for (int com = kFirstCom; com <= kLastCom; ++com) {
            const std::string link = dosdevices_ + "/com" + std::to_string(com);
            if (::symlink(device->pair->portPath().c_str(), link.c_str()) == 0) {
                device->link = link;
                devices_[com] = std::move(device);
                return "ok COM" + std::to_string(com);
            }
            if (errno != EEXIST)
                return std::string("err cannot link ") + link + ": " + std::strerror(errno);
        }
        return "err no free COM number";
    }

    std::string replug(Device& d, std::istream& in)
    {
        d.pair = std::make_unique<PtyPair>(startOf(in));
        ::unlink(d.link.c_str());
        if (::symlink(d.pair->portPath().c_str(), d.link.c_str()) != 0)
            return std::string("err cannot link: ") + std::strerror(errno);
        return "ok";
    }

    static std::string send(Device& d, std::istream& in)
    {
        std::string hex, bytes;
        in >> hex;
        if (!d.pair || !fromHex(hex, bytes))
            return "err bad send";
        return d.pair->send(bytes.data(), bytes.size(), 10s) ? "ok" : "err send timed out";
    }

    static std::string recv(Device& d, std::istream& in)
    {
        std::size_t count = 0;
        int ms = 0;
        in >> count >> ms;
        if (!d.pair)
            return "err unplugged";
        return "ok " + toHex(d.pair->receive(count, std::chrono::milliseconds(ms)));
    }

    // Reads until what came ends with the tail, or the time is up.
    static std::string recvUntil(Device& d, std::istream& in)
    {
        std::string hex, tail;
        int ms = 0;
        in >> hex >> ms;
        if (!d.pair || !fromHex(hex, tail))
            return "err bad recvuntil";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::string got;
        const auto ends = [&] {
            return got.size() >= tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0;
        };
        while (!ends() && std::chrono::steady_clock::now() < deadline) {
            const std::string more = d.pair->receiveAvailable();
            if (!more.empty()) {
                got += more;
                continue;
            }
            pollfd p{d.pair->deviceFd(), POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLHUP))
                ::poll(nullptr, 0, 5); // the port side is closed: nothing comes until it opens
        }
        return "ok " + toHex(got);
    }

    static std::string settings(Device& d)
    {
        if (!d.pair)
            return "err unplugged";
        termios t{};
        if (::tcgetattr(d.pair->deviceFd(), &t) != 0)
            return std::string("err ") + std::strerror(errno);
        int size = 8;
        switch (t.c_cflag & CSIZE) {
        case CS5: size = 5; break;
        case CS6: size = 6; break;
        case CS7: size = 7; break;
        default: break;
        }
        std::ostringstream out;
        out << "ok speed=" << qldixw::testing::lineSpeed(d.pair->deviceFd()) << " csize=" << size
            << " parenb=" << bool(t.c_cflag & PARENB) << " cstopb=" << bool(t.c_cflag & CSTOPB)
            << " crtscts=" << bool(t.c_cflag & CRTSCTS) << " ixon=" << bool(t.c_iflag & IXON)
            << " ixoff=" << bool(t.c_iflag & IXOFF) << " icrnl=" << bool(t.c_iflag & (ICRNL | INLCR | IGNCR))
            << " istrip=" << bool(t.c_iflag & ISTRIP) << " icanon=" << bool(t.c_lflag & ICANON)
            << " echo=" << bool(t.c_lflag & ECHO) << " isig=" << bool(t.c_lflag & ISIG)
            << " opost=" << bool((t.c_oflag & OPOST) && (t.c_oflag & (ONLCR | OCRNL | ONOCR | ONLRET)))
            << " vstart=" << int(t.c_cc[VSTART]) << " vstop=" << int(t.c_cc[VSTOP]);
        return out.str();
    }

    // The line takes nothing more until unstalled: the port side's output is stopped,
    // as a device's XOFF stops it, so whatever the test writes stays with the writer.
    // (Filling the line's buffers instead is not steady: the kernel moves bytes between
    // them a moment later and makes room again.)
    static std::string stall(Device& d)
    {
        if (!d.pair)
            return "err unplugged";
        d.unstall();
        d.stallFd = ::open(d.pair->portPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (d.stallFd < 0 || ::tcflow(d.stallFd, TCOOFF) != 0)
            return std::string("err ") + std::strerror(errno);
        return "ok";
    }

    const std::string dosdevices_;
    std::map<int, std::unique_ptr<Device>> devices_;
};

bool readLine(int fd, std::string& buffer, std::string& line)
{
    for (;;) {
        const std::size_t end = buffer.find('\n');
        if (end != std::string::npos) {
            line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buffer.append(chunk, std::size_t(n));
    }
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

// The COM links of the prefix that no peer made: a number outside the peers' range, or a
// link that leads anywhere but a pseudo-terminal. "com1 -> /dev/ttyS0" for each.
std::vector<std::string> foreignComLinks(const std::string& dosdevices)
{
    std::vector<std::string> foreign;
    DIR* dir = ::opendir(dosdevices.c_str());
    if (!dir)
        return foreign;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 4 || ::strncasecmp(name.c_str(), "com", 3) != 0)
            continue;
        bool digits = true;
        for (std::size_t i = 3; i < name.size(); ++i)
            digits = digits && std::isdigit(static_cast<unsigned char>(name[i]));
        if (!digits || name.size() > 6)
            continue;
        const int number = std::atoi(name.c_str() + 3);
        char target[4096];
        const ssize_t length = ::readlink((dosdevices + "/" + name).c_str(), target, sizeof target - 1);
        const std::string leadsTo = length > 0 ? std::string(target, std::size_t(length)) : std::string("?");
        if (number < kFirstCom || number > kLastCom || leadsTo.rfind("/dev/pts/", 0) != 0)
            foreign.push_back(name + " -> " + leadsTo);
    }
    ::closedir(dir);
    return foreign;
}

int pidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <command...>  (with WINEPREFIX set)\n", argv[0]);
        return 2;
    }
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix || !*prefix) {
        std::fprintf(stderr, "winepeer: WINEPREFIX is not set\n");
        return 2;
    }

    const std::vector<std::string> foreign = foreignComLinks(std::string(prefix) + "/dosdevices");
    if (!foreign.empty()) {
        std::fprintf(stderr, "winepeer: the prefix has COM ports the tests did not make, which could lead a test to "
                             "the machine's own serial devices; not running %s:\n", argv[1]);
        for (const std::string& link : foreign)
            std::fprintf(stderr, "  %s/dosdevices/%s\n", prefix, link.c_str());
        return 3;
    }

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("winepeer: listen");
        return 2;
    }
    const std::string peerVariable = "QLDIXW_PEER=127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    std::vector<char*> environment;
    for (char** e = environ; *e; ++e)
        environment.push_back(*e);
    environment.push_back(const_cast<char*>(peerVariable.c_str()));
    environment.push_back(nullptr);

    // The command's output reaches ours through a pipe of our own. Wine starts its
    // services from the first program of a prefix, and they live on with whatever that
    // program's output was: were it ours, a test harness reading it would wait for them.
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        std::perror("winepeer: pipe");
        return 2;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[1], &actions, nullptr, argv + 1, environment.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    if (spawned != 0) {
        std::fprintf(stderr, "winepeer: cannot run %s: %s\n", argv[1], std::strerror(spawned));
        return 2;
    }
    ::fcntl(output[0], F_SETFL, O_NONBLOCK);
    const auto relay = [fd = output[0]] {
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(fd, chunk, sizeof chunk)) > 0)
            [[maybe_unused]] ssize_t w = ::write(STDOUT_FILENO, chunk, std::size_t(n));
    };
    const int childFd = pidfdOpen(child);
    if (childFd < 0) {
        std::perror("winepeer: pidfd_open");
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return 2;
    }

    int status = 0;
    {
        Peer peer(std::string(prefix) + "/dosdevices");
        int client = -1;
        std::string buffer;
        bool relaying = true;
        for (;;) {
            pollfd fds[3] = {{childFd, POLLIN, 0},
                             {client >= 0 ? client : listener, POLLIN, 0},
                             {relaying ? output[0] : -1, POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (fds[2].revents) {
                relay();
                // Hung up: every writer is gone.
                relaying = !(fds[2].revents & POLLHUP) || (fds[2].revents & POLLIN);
            }
            if (fds[0].revents)
                break; // the test ended
            if (!(fds[1].revents))
                continue;
            if (client < 0) {
                client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                buffer.clear();
                continue;
            }
            std::string line;
            if (!readLine(client, buffer, line)) {
                ::close(client);
                client = -1;
                continue;
            }
            if (!writeAll(client, peer.handle(line) + "\n")) {
                ::close(client);
                client = -1;
            }
        }
        if (client >= 0)
            ::close(client);
        ::waitpid(child, &status, 0);
        relay(); // what it wrote before it ended
        ::close(output[0]);
    } // every link removed, every pair closed
    ::close(childFd);
    ::close(listener);
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
