#include "cli/trace.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

class traced_serio : public serio {
 public:
  explicit traced_serio(std::FILE* file) : file_(file) {}
  ~traced_serio() override { std::fclose(file_); }

  bool transact(const std::vector<uint8_t>& request, std::vector<uint8_t>& answer,
                bool expect_answer) override {
    std::vector<uint8_t> frame;
    if (codec) codec->encode(request, frame);
    Write("TX", frame, "");
    const bool ok = serio::transact(request, answer, expect_answer);
    if (!expect_answer) return ok;
    // The answer as it stood on the line: its payload framed again.
    frame.clear();
    if (ok && codec) codec->encode(answer, frame);
    Write("RX", frame, StatusName(status()));
    return ok;
  }

 private:
  void Write(const char* direction, const std::vector<uint8_t>& bytes, const char* outcome) {
    using clock = std::chrono::system_clock;
    const auto now = clock::now();
    const std::time_t seconds = clock::to_time_t(now);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            now.time_since_epoch()).count() % 1000000;
    // One thread writes the trace: localtime's shared buffer is safe here.
    const std::tm local = *std::localtime(&seconds);
    std::fprintf(file_, "%02d:%02d:%02d.%06lld %s", local.tm_hour, local.tm_min, local.tm_sec,
                 static_cast<long long>(micros), direction);
    for (uint8_t b : bytes) std::fprintf(file_, " %02X", b);
    if (*outcome) std::fprintf(file_, " | %s", outcome);
    std::fputc('\n', file_);
    std::fflush(file_);
  }

  std::FILE* file_;
};

}  // namespace

std::unique_ptr<serio> MakeTraceChannel(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file) return nullptr;
  return std::make_unique<traced_serio>(file);
}

const char* StatusName(int status) {
  switch (status) {
    case serio_ok: return "ok";
    case serio_answer_timeout: return "timeout";
    case serio_no_answer: return "no answer";
    case serio_bad_checksum: return "bad check";
    case serio_bad_frame: return "bad frame";
    case serio_receive_error: return "receive error";
    case serio_io_error: return "i/o error";
    case serio_not_open: return "not open";
    default: return "error";
  }
}
