#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "settings/unt_fileclient.h"

namespace settings {

// Linux counts keep-alive times in whole seconds: the nearest it can do.
void SwitchFileKeepAliveOn(uintptr_t socketHandle) {
  const int fd = static_cast<int>(socketHandle);
  int on = 1, idle = kFileKeepAliveIdleMs / 1000, interval = 1;
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
}

}  // namespace settings
