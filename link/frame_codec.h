// Frame codecs: the objects that turn a payload into the bytes sent on the line,
// recognise and check the bytes that come back, and tell the serial channel how
// long to wait. The channel drives a codec only through the virtual operations of
// frame_codec and never knows which protocol it carries; a codec never does I/O.
//
// One transaction, as the channel performs it: encode the request; reset; feed the
// received bytes until the result is not feed_result::more, or feed with final = 1
// when time is up; on feed_result::frame_ok, take_payload.
//
// The codecs: ravik_codec (ravik.h), modbus_rtu_codec (modbus_rtu.h) and
// modbus_ascii_codec (modbus_ascii.h).
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

// What feed (and each codec's frame check) reports.
enum class feed_result : int {
  bad_argument = -2,      // final outside 0..1
  unsupported = -1,       // the base frame_codec decodes nothing
  more = 0,               // no complete frame yet; feed more bytes
  frame_ok = 1,           // a complete frame checks; take_payload yields its payload
  bad_terminator = 2,     // the frame's end characters are wrong
  bad_checksum = 3,       // checksum or CRC mismatch
  nothing_received = 4,   // final call and not a single byte was ever buffered
  too_short = 5,          // shorter than the protocol's minimum
  too_long = 6,           // longer than 65535 bytes
  bad_format = 7,         // a character outside the alphabet, or no start character
};

// The kinds of timing a codec answers, all in microseconds.
enum codec_timing_kind : int {
  // Silence between two received bytes that ends a frame; -1 or 0: no such gap.
  codec_timing_gap = 0,
  // Only its sign matters: negative makes the channel refuse the transaction.
  codec_timing_guard = 1,
  // Answer time: the first byte must come within it (plus 10 ms of port slack)
  // and the whole answer must be complete within it.
  codec_timing_answer = 2,
};

// One row of a codec's timing table: us applies to every baud up to and including
// max_baud. A table's last row has max_baud = INT_MAX.
struct codec_timing_row {
  int max_baud;
  int us;
};

// The longest frame any codec accepts; a longer one ends as feed_result::too_long.
inline constexpr std::size_t frame_max_bytes = 65535;

class frame_codec {
 public:
  frame_codec() = default;
  frame_codec(const frame_codec&) = default;
  frame_codec& operator=(const frame_codec&) = default;

  // Slot order of the virtual operations, as the channel calls them:
  // destructor, timing, is_frame_start, feed, take_payload, reset, read_hint,
  // encode, name.
  virtual ~frame_codec();

  // Microseconds of the given kind (codec_timing_kind) at this baud and number of
  // bits per character (data bits plus start, stop and parity bits); -1 when the
  // codec defines none. reserved is unused and should be 0.
  virtual int timing(int kind, int baud, int bits_per_char, int reserved) const;

  // Whether byte can be the first byte of a frame of this protocol.
  virtual bool is_frame_start(uint8_t byte) const;

  // Hands received bytes to the decoder. final is 0 while more bytes may come and
  // 1 when time is up (input is then usually empty). consumed tells how many bytes
  // of input were used; bytes after a complete frame stay unconsumed.
  virtual feed_result feed(int final, const std::vector<uint8_t>& input, int& consumed);

  // Replaces the contents of out with the payload of the last frame that checked.
  virtual void take_payload(std::vector<uint8_t>& out);

  // Forgets everything received so far; call before each reception.
  virtual void reset();

  // How many bytes the channel should ask the port for next; negative: no
  // preference (the channel reads one byte at a time).
  virtual int read_hint() const;

  // Appends the wire frame of payload to out (out is not cleared first). Returns
  // the size of out, or a negative error (-2: payload too short) with out
  // unchanged.
  virtual int encode(const std::vector<uint8_t>& payload, std::vector<uint8_t>& out) const;

  // "frame_codec", "modbus_rtu_codec", "modbus_ascii_codec" or "ravik_codec".
  virtual const char* name() const;

 protected:
  // Reception of the framings that open with a start character and close with a
  // terminator (RAVIK, Modbus ASCII), for their feed: bytes before the start
  // character are noise and are consumed; after it, each byte is kept until
  // frame_ends(byte) says the frame is complete. feed_result::frame_ok then means
  // "complete, at most frame_max_bytes long, to be checked by the codec"; any
  // other result is feed's own.
  template <typename FrameEnds>
  feed_result feed_delimited(int final, const std::vector<uint8_t>& input, int& consumed,
                             uint8_t start_char, FrameEnds frame_ends);

  // Appends to decoded_ the n bytes written at chars as two characters each, high
  // half first; digit gives a character's value 0..15, or -1 for a character that
  // has none. False at the first such character, decoded_ then holding the bytes
  // before it.
  bool decode_char_pairs(const uint8_t* chars, std::size_t n, int (*digit)(uint8_t));

  std::vector<uint8_t> decoded_;  // payload of the last received frame
  std::vector<uint8_t> raw_;      // wire bytes of the frame being received, from its start on
};

template <typename FrameEnds>
feed_result frame_codec::feed_delimited(int final, const std::vector<uint8_t>& input,
                                        int& consumed, uint8_t start_char, FrameEnds frame_ends) {
  consumed = 0;
  if (final != 0 && final != 1) return feed_result::bad_argument;
  if (final == 1 && raw_.empty() && input.empty()) return feed_result::nothing_received;
  std::size_t pos = 0;
  if (raw_.empty()) {
    while (pos < input.size() && input[pos] != start_char) ++pos;
    if (pos == input.size()) {
      // All of it was noise before a frame.
      consumed = static_cast<int>(input.size());
      return feed_result::more;
    }
    raw_.push_back(start_char);
    ++pos;
  }
  for (; pos < input.size(); ++pos) {
    raw_.push_back(input[pos]);
    // A line that never ends a frame must not grow the buffer without limit, and
    // no frame longer than frame_max_bytes is taken, whatever its last byte.
    if (raw_.size() > frame_max_bytes) {
      consumed = static_cast<int>(pos + 1);
      return feed_result::too_long;
    }
    if (frame_ends(input[pos])) {
      consumed = static_cast<int>(pos + 1);
      return feed_result::frame_ok;
    }
  }
  consumed = static_cast<int>(input.size());
  return feed_result::more;
}

// Looks kind up in a codec's timing tables (one table per kind, indexed by kind);
// -1 for a kind without a table.
int codec_timing_lookup(const codec_timing_row* const* tables, int table_count, int kind,
                        int baud);
