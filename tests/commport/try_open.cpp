// Opens argv[1] for reading and writing as a terminal program would. Exit code: 0 when
// it opened, else the errno of the refusal.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 100;
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        std::printf("%d\n", err);
        return err;
    }
    ::close(fd);
    std::printf("0\n");
    return 0;
}
