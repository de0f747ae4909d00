// Which backend a name goes to: a line behind a serial device server or the system's
// own device. A name that asks for a network line never reaches the system's open
// call, valid or not.

#include "backend.h"
#include "net/netdevice.h"
#include "net/networkname.h"

namespace commport::backend {

std::unique_ptr<Device> OpenDevice(const std::string& path, SystemError& error)
{
    if (net::IsNetworkName(path))
        return net::OpenNetworkDevice(path, error);
    return OpenLocalDevice(path, error);
}

} // namespace commport::backend
