#include "cli/checks.h"

#include <algorithm>

#include "cli/tool.h"
#include "common/baud_rates.h"
#include "pages/dlg_loop.h"
#include "pages/dlg_rs485.h"
#include "pages/line_controls.h"
#include "pages/page_texts.h"
#include "store/catalogue.h"
#include "store/codepage.h"

namespace {

namespace lc = line_controls;

// Word length, parity and stop bits the converter refuses on its RS-485 side.
struct Frame {
  int bits, parity, stopbits;
};
constexpr Frame kUnsupportedFrames[] = {{7, 0, 0}, {8, 1, 2}, {8, 2, 2}};

}  // namespace

std::string CheckRs485Settings(const PortSettings& rs) {
  // A configuration file may carry any number; the converter would be sent its
  // code for "no such value".
  if (!is_standard_baud_rate(rs.baud)) return Format("скорость %d не поддерживается", rs.baud);
  if (rs.parity < 0 || rs.parity > 2) return Format("чётность %d: допустимо 0, 1 или 2", rs.parity);
  if (rs.stopbits != 0 && rs.stopbits != 2) return Format("стоп-биты %d: допустимо 0 или 2", rs.stopbits);
  if (rs.proto < 0 || rs.proto > 2) return Format("протокол %d: допустимо 0, 1 или 2", rs.proto);
  if (rs.bytesize != 7 && rs.bytesize != 8) return Format("длина слова %d: допустимо 7 или 8", rs.bytesize);
  if (rs.alen != 8 && rs.alen != 11) return Format("длина адреса %d: допустимо 8 или 11", rs.alen);
  const int max_address = rs.alen == 11 ? lc::kMaxAddress11 : lc::kMaxAddress8;
  if (rs.address < 0 || rs.address > max_address)
    return Format(page_text::kAddress11Refused, rs.address, max_address);
  if (rs.delay < 0 || rs.delay > CDlgRs485::kMaxDelay) return Format(page_text::kDelayRefused, rs.delay);
  if (rs.proto == 2 && rs.bytesize != 8) return Format(page_text::kWordLengthRtu, rs.bytesize);
  if (rs.proto == 1 && rs.bytesize != 7) return Format(page_text::kWordLengthAscii, rs.bytesize);
  if (rs.proto != 0 && rs.alen == 11) return "протоколы Modbus допускают только 8-битный адрес";
  for (const Frame& f : kUnsupportedFrames)
    if (rs.bytesize == f.bits && rs.parity == f.parity && rs.stopbits == f.stopbits)
      return page_text::kUnsupportedFrame;
  return {};
}

std::string CheckLoopSettings(const PortSettings& loop) {
  const DeviceDescription* entry = FindDescription(loop.devtype, loop.fwver);
  if (!entry) return page_text::kUnknownInstrument;
  const auto& bauds = entry->validbauds;
  if (std::find(bauds.begin(), bauds.end(), loop.baud) == bauds.end())
    return Format("скорость %d не допускается прибором %s", loop.baud,
                  Cp1251ToUtf8(entry->name).c_str());
  struct Fixed {
    int flag;
    int32_t value, fallback;
    const char* what;
  };
  const Fixed fixed[] = {{2, loop.bytesize, entry->defbytesize, "длину слова"},
                         {4, loop.parity, entry->defparity, "чётность"},
                         {8, loop.stopbits, entry->defstopbits, "число стоп-бит"}};
  for (const Fixed& f : fixed)
    if (!(entry->flags & f.flag) && f.value != f.fallback)
      return Format("прибор %s не позволяет менять %s", Cp1251ToUtf8(entry->name).c_str(), f.what);
  if (loop.bytesize != 7 && loop.bytesize != 8) return Format("длина слова %d: допустимо 7 или 8", loop.bytesize);
  if (loop.delay < 1 || loop.delay > CDlgLoop::kPollLimit) return Format(page_text::kPollRefused, loop.delay);
  const int32_t least = PollIndexForBaud(*entry, loop.baud);
  const int32_t most = static_cast<int16_t>(entry->pollmax);
  if (loop.delay < least || loop.delay > most)
    return Format("частота опроса %d: прибор допускает от %d до %d на скорости %d", loop.delay,
                  least, most, loop.baud);
  return {};
}
