// A pseudo-terminal pair for a test that plays the far end of a line: the side
// under test (the channel, or a peer such as libmodbus) opens the slave by its
// name, the test reads and writes the master.
#pragma once

#include <atomic>
#include <string>

class PseudoTerminal {
 public:
  PseudoTerminal();  // ok() says whether the pair was made
  ~PseudoTerminal() { HangUp(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return master() >= 0 && !slave_.empty(); }
  // The master's descriptor; -1 once hung up (or when the pair was not made).
  int master() const { return master_; }
  const std::string& slave() const { return slave_; }

  // The master in raw mode (bytes pass unchanged) and non-blocking.
  void MakeRawNonBlocking() const;
  // Closes the master: the far end hangs up, and the slave's reads and writes fail.
  // Any thread may call it; a thread still polling the master must be stopped first.
  void HangUp();

 private:
  std::atomic<int> master_{-1};
  std::string slave_;
};
