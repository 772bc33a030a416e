#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "account/unt_udprecvmsg.h"

namespace account {

void SwitchKeepAliveOn(uintptr_t socketHandle) {
  const int fd = static_cast<int>(socketHandle);
  int on = 1, idle = 960, interval = 1;
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
}

}  // namespace account
