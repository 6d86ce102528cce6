// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's terminal as the programs that open it see it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/sim_process.h"

namespace pw::test {
namespace {

// Whether the terminal is held for one program (TIOCEXCL): others cannot open it, root can and
// sees the flag.
bool Held(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0)
    return errno == EBUSY;
  int exclusive = 0;
  ioctl(fd, TIOCGEXCL, &exclusive);
  close(fd);
  return exclusive != 0;
}

// A serial port takes the terminal for itself (a lock, then TIOCEXCL) and lets go when it
// closes it; a program killed while it holds the terminal never lets go. The simulator keeps
// the terminal open, so once a program has talked on it, it drops such a hold itself when
// nobody holds the lock any more, and leaves the hold of a living program alone.
TEST(SimulatorTerminal, TheHoldOfAKilledProgramIsDroppedAndALivingOneKept) {
  const std::string link = "/tmp/pw-simterm-" + std::to_string(getpid());
  SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    const std::uint8_t query[] = {'S', 'U', 'j', 'V'}; // it talks to the pager
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0 ||
        write(fd, query, sizeof query) != sizeof query)
      _exit(1);
    close(gate[0]);
    char b = 0;
    if (write(gate[1], &b, 1) != 1)
      _exit(1);
    pause(); // until killed
    _exit(0);
  }
  close(gate[1]);
  char b = 0;
  ASSERT_EQ(read(gate[0], &b, 1), 1) << "the holder could not take the terminal";
  close(gate[0]);
  poll(nullptr, 0, 1200); // more than two of the simulator's looks at its lines
  EXPECT_TRUE(Held(link));

  kill(holder, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(holder, &status, 0), holder);
  bool held = true;
  for (int i = 0; i < 50 && (held = Held(link)); ++i)
    poll(nullptr, 0, 100);
  EXPECT_FALSE(held);
}

} // namespace
} // namespace pw::test
