#include "tests/support/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal() {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return;
  master_ = master;
  if (grantpt(master) != 0 || unlockpt(master) != 0) return;
  if (const char* name = ptsname(master)) slave_ = name;
}

void PseudoTerminal::MakeRawNonBlocking() const {
  const int fd = master();
  termios tio{};
  if (tcgetattr(fd, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void PseudoTerminal::HangUp() {
  const int fd = master_.exchange(-1);
  if (fd >= 0) ::close(fd);
}
