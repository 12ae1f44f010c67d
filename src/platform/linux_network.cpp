#include "platform/linux_network.h"

#include "platform/udp_socket_qt.h"

namespace nms::platform {

LinuxNetwork::LinuxNetwork() = default;
LinuxNetwork::~LinuxNetwork() = default;

std::unique_ptr<ports::UdpSocket> LinuxNetwork::createUdpSocket() { return std::make_unique<QtUdpSocket>(); }

}  // namespace nms::platform
