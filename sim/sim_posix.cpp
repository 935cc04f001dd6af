#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/engine.h"
#include "sim/line_posix.h"
#include "sim/sim.h"
#include "sim/state_file.h"

namespace kv4t::sim {
namespace {

// State files are small; anything much larger is not one.
constexpr std::streamoff kMaxStateFile = 1 << 20;

std::int64_t now_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string errno_text(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool write_all_atomically(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f << text;
    if (!f.flush()) return false;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace

Simulator::Simulator(Options options) : options_(std::move(options)) {}

Simulator::~Simulator() { stop(); }

bool Simulator::start(std::string* error) {
  // A second start leaves the running converter alone.
  if (thread_.joinable()) {
    if (error) *error = "already running";
    return false;
  }
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    stop();
    return false;
  };
  // One engine per converter on the line; a converter's log lines carry its place
  // on the bus.
  const std::vector<ConverterOptions> converters =
      options_.bus.empty() ? std::vector<ConverterOptions>{options_} : options_.bus;
  engines_.clear();
  for (std::size_t i = 0; i < converters.size(); ++i) {
    engines_.push_back(std::make_unique<Engine>(converters[i]));
    if (options_.log) {
      std::FILE* log = options_.log;
      const std::string tag = options_.bus.empty() ? "kv4t-sim: " : "kv4t-sim[" + std::to_string(i + 1) + "]: ";
      engines_.back()->log = [log, tag](const std::string& line) {
        std::fprintf(log, "%s%s\n", tag.c_str(), line.c_str());
        std::fflush(log);
      };
    }
  }
  if (!options_.state_file.empty()) {
    std::ifstream f(options_.state_file, std::ios::binary);
    if (f) {
      f.seekg(0, std::ios::end);
      const std::streamoff size = f.tellg();
      f.seekg(0);
      if (size > kMaxStateFile) return fail("state file " + options_.state_file + " is too large");
      std::stringstream ss;
      ss << f.rdbuf();
      std::string why;
      // An empty file is a fresh state (a test may create it beforehand).
      if (!ss.str().empty() && !load_state_text(ss.str(), &why))
        return fail("state file " + options_.state_file + ": " + why);
    }
  }

  master_fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_fd_ < 0) return fail(errno_text("posix_openpt"));
  if (grantpt(master_fd_) != 0) return fail(errno_text("grantpt"));
  if (unlockpt(master_fd_) != 0) return fail(errno_text("unlockpt"));
  char name[128];
  if (ptsname_r(master_fd_, name, sizeof name) != 0) return fail(errno_text("ptsname_r"));
  slave_path_ = name;
  const int fl = fcntl(master_fd_, F_GETFL);
  if (fl < 0 || fcntl(master_fd_, F_SETFL, fl | O_NONBLOCK) != 0) return fail(errno_text("fcntl"));
  // The converter keeps the slave open itself, so that the master never sees a hang-up
  // between the computer's opens and the settings survive them. It starts raw, at the
  // converter's own line settings.
  slave_fd_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_fd_ < 0) return fail(errno_text("open slave"));
  if (!set_raw_line(slave_fd_, engines_.front()->state().line)) return fail(errno_text("line settings"));
  if (pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return fail(errno_text("pipe"));
  // A pseudo-terminal's slave lives as long as its master, so an exclusive open
  // (TIOCEXCL) outlasts the program that asked for it and every later open by an
  // ordinary user fails with EBUSY. A real port forgets it at the last close; the
  // converter watches the computer's closes to do the same. Best effort:
  // without inotify the flag simply stays.
  watch_fd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch_fd_ >= 0 && inotify_add_watch(watch_fd_, name, IN_CLOSE) < 0) {
    close(watch_fd_);
    watch_fd_ = -1;
  }

  if (!options_.link_path.empty()) {
    struct stat st {};
    // Replace only an old link; never a file somebody keeps there.
    if (lstat(options_.link_path.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) return fail(options_.link_path + " exists and is not a symbolic link");
      if (unlink(options_.link_path.c_str()) != 0) return fail(errno_text("unlink old link"));
    }
    if (symlink(slave_path_.c_str(), options_.link_path.c_str()) != 0) return fail(errno_text("symlink"));
    linked_ = true;
  }
  if (!options_.state_file.empty() && !write_all_atomically(options_.state_file, state_text()))
    return fail(errno_text("writing the state file"));
  for (auto& e : engines_) e->take_changed();
  stopping_ = false;
  thread_ = std::thread(&Simulator::run, this);
  return true;
}

void Simulator::stop() {
  stopping_ = true;
  if (wake_pipe_[1] >= 0) {
    const char c = 'q';
    (void)!write(wake_pipe_[1], &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  if (linked_) {
    char target[256];
    const ssize_t n = readlink(options_.link_path.c_str(), target, sizeof target - 1);
    if (n >= 0 && slave_path_ == std::string(target, static_cast<std::size_t>(n))) unlink(options_.link_path.c_str());
    linked_ = false;
  }
  for (int* fd : {&master_fd_, &slave_fd_, &wake_pipe_[0], &wake_pipe_[1], &watch_fd_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

std::size_t Simulator::converter_count() const {
  std::lock_guard lock(mutex_);
  return engines_.size();
}

State Simulator::state(std::size_t converter) const {
  std::lock_guard lock(mutex_);
  return converter < engines_.size() ? engines_[converter]->state() : State{};
}

bool Simulator::wait_for_requests(std::string_view name, long n, int timeout_ms, std::size_t converter) const {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (request_count(name, converter) >= n) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

long Simulator::closes_handled() const {
  std::lock_guard lock(mutex_);
  return closes_handled_;
}

bool Simulator::wait_for_closes_handled(long n, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return closes_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return closes_handled_ > n; });
}

void Simulator::set_faults(const Faults& faults) {
  std::lock_guard lock(mutex_);
  for (auto& e : engines_) e->set_faults(faults);
}

// The state file's text: one converter's state, or the bus form when the options
// named the converters.
std::string Simulator::state_text() const {
  if (options_.bus.empty()) return engines_.front()->state_json();
  std::vector<State> states;
  for (const auto& e : engines_) states.push_back(e->state());
  return bus_state_to_json(states);
}

bool Simulator::load_state_text(const std::string& text, std::string* error) {
  if (options_.bus.empty()) return engines_.front()->load_state(text, error);
  std::vector<State> states;
  for (const auto& e : engines_) states.push_back(e->state());
  if (!bus_state_from_json(text, states, error)) return false;
  for (std::size_t i = 0; i < states.size(); ++i) engines_[i]->restore(std::move(states[i]));
  return true;
}

// Whether any process other than this converter's own slave descriptor holds the
// slave open (processes of other users cannot be seen and count as not holding it).
bool Simulator::others_hold_slave() const {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  const std::string self = std::to_string(getpid());
  const std::string own_fd = std::to_string(slave_fd_);
  bool held = false;
  while (!held) {
    const dirent* p = readdir(proc);
    if (!p) break;
    if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
    const std::string fd_dir = std::string("/proc/") + p->d_name + "/fd";
    DIR* fds = opendir(fd_dir.c_str());
    if (!fds) continue;
    while (const dirent* f = readdir(fds)) {
      if (f->d_name[0] == '.') continue;
      if (self == p->d_name && own_fd == f->d_name) continue;
      char target[256];
      const ssize_t n = readlink((fd_dir + "/" + f->d_name).c_str(), target, sizeof target - 1);
      if (n > 0 && slave_path_.compare(0, std::string::npos, target, static_cast<std::size_t>(n)) == 0) {
        held = true;
        break;
      }
    }
    closedir(fds);
  }
  closedir(proc);
  return held;
}

void Simulator::watch_closes() {
  alignas(inotify_event) char buf[4096];
  bool closed = false;
  // The events only say that somebody closed the slave (the kernel merges repeated
  // ones); whether anybody still holds it is looked up afterwards.
  while (read(watch_fd_, buf, sizeof buf) > 0) closed = true;
  // TIOCNXCL clears the exclusive flag for the next open; ioctl returns -1 on failure.
  if (closed && !others_hold_slave() && ioctl(slave_fd_, TIOCNXCL) != 0 && options_.log)
    std::fprintf(options_.log, "kv4t-sim: cannot clear the exclusive open: %s\n", std::strerror(errno));
  if (!closed) return;
  {
    std::lock_guard lock(mutex_);
    ++closes_handled_;
  }
  closes_cv_.notify_all();
}

// Writes bytes for the computer in one call where the line takes them; false when
// nobody reads them (the rest is given up rather than hang).
bool Simulator::write_to_computer(const std::uint8_t* data, std::size_t n) {
  std::size_t done = 0;
  int waits = 0;
  while (done < n && !stopping_) {
    const ssize_t w = write(master_fd_, data + done, n - done);
    if (w > 0) {
      done += static_cast<std::size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd p{master_fd_, POLLOUT, 0};
    if (poll(&p, 1, 100) <= 0 && ++waits > 10) return false;
  }
  return done == n;
}

void Simulator::run() {
  // A converter is hardware: its answers keep their time whatever the computer is
  // doing. Where the system allows it, the line's thread runs at a real-time
  // priority so that a loaded machine delays the computer's side, never the
  // converter's. The thread only ever blocks in poll between its short steps, so
  // it takes no more of a core than an ordinary one; where the priority is refused
  // it runs as before.
  sched_param realtime{};
  realtime.sched_priority = sched_get_priority_min(SCHED_FIFO);
  (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime);

  std::uint8_t buf[4096];
  std::vector<Reply> replies;
  // Answers waiting for their converter's answer delay, in the order they fall due.
  struct Due {
    std::int64_t at_us;
    bytes data;
  };
  std::vector<Due> due;
  // Bytes for the computer held by the adaptor's latency timer, and the tick that
  // releases them (-1 while it holds nothing). Ticks fall every latency_ms from the
  // start, whether or not there is anything to release.
  bytes held;
  std::int64_t release_us = -1;
  const std::int64_t tick_us = static_cast<std::int64_t>(std::max(0, options_.latency_ms)) * 1000;
  const std::int64_t ticks_from_us = now_us();

  // Waits up to ms for the stop request; true when stopping.
  auto pause = [&](int ms) {
    pollfd p{wake_pipe_[0], POLLIN, 0};
    if (ms > 0) poll(&p, 1, ms);
    return stopping_.load();
  };
  auto save = [&] {
    bool changed = false;
    for (auto& e : engines_) changed = e->take_changed() || changed;
    if (changed && !options_.state_file.empty())
      if (!write_all_atomically(options_.state_file, state_text()) && options_.log)
        std::fprintf(options_.log, "kv4t-sim: cannot write the state file %s\n", options_.state_file.c_str());
  };
  auto to_computer = [&](const std::uint8_t* data, std::size_t n, std::int64_t now) {
    if (n == 0) return;
    if (tick_us == 0) {
      write_to_computer(data, n);
      return;
    }
    held.insert(held.end(), data, data + n);
    if (release_us < 0) release_us = ticks_from_us + ((now - ticks_from_us) / tick_us + 1) * tick_us;
  };
  auto schedule = [&](std::int64_t now) {
    for (Reply& r : replies) {
      const std::int64_t at = now + static_cast<std::int64_t>(r.delay_ms) * 1000;
      // After every answer due at the same moment: the converters' order stays.
      const auto pos = std::upper_bound(due.begin(), due.end(), at, [](std::int64_t t, const Due& d) { return t < d.at_us; });
      due.insert(pos, Due{at, std::move(r.data)});
    }
    replies.clear();
  };

  while (!stopping_) {
    // Answers that are due go to the computer (or to the adaptor's buffer), then the
    // buffer goes out when its tick has come: an echo and an answer queued before
    // the same tick arrive together.
    std::int64_t now = now_us();
    while (!due.empty() && due.front().at_us <= now) {
      to_computer(due.front().data.data(), due.front().data.size(), now);
      due.erase(due.begin());
    }
    if (release_us >= 0 && now >= release_us) {
      write_to_computer(held.data(), held.size());
      held.clear();
      release_us = -1;
    }

    std::int64_t wake_us = now + 1000000;
    {
      std::lock_guard lock(mutex_);
      for (const auto& e : engines_) {
        const std::int64_t deadline = e->idle_deadline_us();
        if (deadline >= 0) wake_us = std::min(wake_us, deadline);
      }
    }
    if (!due.empty()) wake_us = std::min(wake_us, due.front().at_us);
    if (release_us >= 0) wake_us = std::min(wake_us, release_us);
    const int timeout = static_cast<int>(std::max<std::int64_t>(0, (wake_us - now + 999) / 1000));
    pollfd fds[3] = {{master_fd_, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}, {watch_fd_, POLLIN, 0}};
    const int r = poll(fds, watch_fd_ >= 0 ? 3 : 2, timeout);
    if (stopping_) break;
    if (watch_fd_ >= 0 && (fds[2].revents & POLLIN)) watch_closes();
    if (r < 0) {
      if (errno != EINTR) pause(10);
      continue;
    }
    now = now_us();
    if (fds[0].revents & POLLIN) {
      const ssize_t n = read(master_fd_, buf, sizeof buf);
      if (n > 0) {
        // The adaptor's own receiver hears the bytes as they go out, whatever the
        // converters make of them.
        if (options_.echo) to_computer(buf, static_cast<std::size_t>(n), now);
        LineReading computer;
        const bool readable = read_line(master_fd_, computer);
        std::lock_guard lock(mutex_);
        for (auto& e : engines_) {
          const LineSettings& own = e->state().line;
          if (options_.enforce_line && (!readable || !line_matches(computer, own))) {
            e->ignore_bytes(static_cast<std::size_t>(n),
                            "the computer sends at " + (readable ? describe(computer.line) : std::string("?")) +
                                (computer.other_parity ? " (mark/space parity)" : "") + ", the converter listens at " +
                                describe(own));
          } else {
            e->receive(buf, static_cast<std::size_t>(n), now, replies);
          }
        }
        save();
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        pause(10);  // EIO while no one holds the slave: wait for the next open
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      pause(10);
    }
    {
      std::lock_guard lock(mutex_);
      for (auto& e : engines_) e->idle(now, replies);
      save();
    }
    schedule(now);
  }
  std::lock_guard lock(mutex_);
  for (auto& e : engines_) e->take_changed();
  if (!options_.state_file.empty()) write_all_atomically(options_.state_file, state_text());
}

}  // namespace kv4t::sim
