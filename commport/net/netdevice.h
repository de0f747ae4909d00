#pragma once
// The network line as a device of the backend seam (backend.h): a connected socket, the
// protocol spoken over it, and the event thread's wait on both.

#include "backend.h"

#include <memory>
#include <string>

namespace commport::net {

class Connection;

// Connects (blocking the caller for at most kConnectTimeout) and opens the line.
std::unique_ptr<backend::Device> OpenNetworkDevice(const std::string& name, backend::SystemError& error);
// Opens the line over a connection made beforehand.
std::unique_ptr<backend::Device> OpenConnectedDevice(std::unique_ptr<Connection> connection,
                                                     backend::SystemError& error);

} // namespace commport::net
