// The device operations reading whatever the line delivers: the input is cut into
// answer payloads (a length byte, then that many bytes; the length 0xFF stands
// for a failed transaction) that a scripted channel hands out in turn. The reads of
// integers, texts, loop settings and registers must take any answer without a
// crash, an overflow or a read past its end.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "device/converter_device.h"
#include "link/serio.h"

namespace {

class scripted_serio : public serio {
 public:
  scripted_serio(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool transact(const std::vector<uint8_t>&, std::vector<uint8_t>& answer, bool) override {
    if (pos_ >= size_) return false;
    const size_t n = data_[pos_++];
    if (n == 0xFF) return false;
    const size_t take = n < size_ - pos_ ? n : size_ - pos_;
    answer.assign(data_ + pos_, data_ + pos_ + take);
    pos_ += take;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool catalogue_ready = (Catalogue().AddBuiltInWhenEmpty(), true);
  (void)catalogue_ready;

  ConverterDevice device;
  device.channel = std::make_unique<scripted_serio>(data, size);

  int32_t number = 0;
  device.ReadIntParam("BPS", number);
  std::string text;
  device.ReadTextParam("dev", text);
  device.ReadLoopSettings(nullptr);
  PortSettings record;
  device.ReadLoopSettings(&record);
  int value = 0, exception = 0;
  device.ModbusReadRegister(false, 0x10, value, &exception);
  device.ModbusWriteCoil(true, 0xF0F0, 1);
  device.ModbusReadRegister(true, 0x20, value, nullptr);
  return 0;
}
