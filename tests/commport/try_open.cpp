// Opens argv[1] for reading and writing as a terminal program would. Exit code: 0 when
// it opened, else the errno of the refusal.
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 100;
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        return err;
    }
    ::close(fd);
    return 0;
}
