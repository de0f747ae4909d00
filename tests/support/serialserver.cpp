#include "serialserver.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qldixw::testing {

namespace {

constexpr const char* kProgram = "/usr/sbin/ser2net";

bool listedAsListening(const char* table, const std::string& local)
{
    std::ifstream in(table);
    std::string line;
    std::getline(in, line); // the heading
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, address, remote, state;
        fields >> slot >> address >> remote >> state;
        if (address == local && state == "0A")
            return true;
    }
    return false;
}

} // namespace

std::uint16_t freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool listeningOn(std::uint16_t port)
{
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    return listedAsListening("/proc/net/tcp", local);
}

SilentServer::SilentServer()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    // A queue of one: the first filler takes it, the kernel drops the SYNs after it.
    ::listen(listener_, 0);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    for (int& filler : fillers_) {
        filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
}

SilentServer::~SilentServer()
{
    for (int filler : fillers_)
        ::close(filler);
    ::close(listener_);
}

bool SerialServer::available() { return ::access(kProgram, X_OK) == 0; }

SerialServer::SerialServer(std::string devicePath, Kind kind)
    : devicePath_(std::move(devicePath)), kind_(kind)
{
    char pidFile[] = "/tmp/qldixw-ser2net-XXXXXX";
    const int fd = ::mkstemp(pidFile);
    if (fd >= 0)
        ::close(fd);
    pidFile_ = pidFile;
    // Another test may take the port between the look and the bind: a few tries.
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
        port_ = freeLoopbackPort();
        launch();
    }
}

SerialServer::~SerialServer()
{
    stop();
    ::unlink(pidFile_.c_str());
}

std::string SerialServer::name() const
{
    return (kind_ == Kind::Rfc2217 ? "rfc2217://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(port_);
}

bool SerialServer::start()
{
    if (pid_ > 0)
        return true;
    // The port was ours a moment ago; its old connections may hold it for a while.
    for (int attempt = 0; attempt < 20 && pid_ < 0; ++attempt)
        if (!launch())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return pid_ > 0;
}

bool SerialServer::launch()
{
    if (port_ == 0 || !available())
        return false;
    const std::string accepter = kind_ == Kind::Rfc2217 ? "telnet(rfc2217),tcp,127.0.0.1," : "tcp,127.0.0.1,";
    // '#' stands for a new line in -Y; the whole configuration is one connection.
    const std::string config = "connection: &line#  accepter: " + accepter + std::to_string(port_)
        + "#  connector: serialdev," + devicePath_ + ",4800n82,local#  options:#    mdns: false";
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execl(kProgram, kProgram, "-n", "-u", "-P", pidFile_.c_str(), "-Y", config.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return false; // it ended: the port was taken, or the configuration refused
        if (listeningOn(port_)) {
            pid_ = pid;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

void SerialServer::stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

} // namespace qldixw::testing
