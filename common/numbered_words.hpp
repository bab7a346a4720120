#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "hex_digits.hpp"
#include "image_writer.hpp"

namespace verilog_hex {

// Words numbered from the address on, count of them, each of data_size digits that
// put_data(out) stores at out; gives the next address. put_data may store up to
// data_slack bytes past the digits (in stores of a fixed size), which the room reserved
// here allows for and the next line overwrites. For long runs of words: the buffer is
// reserved a batch at a time, and only every sixteenth address is formed whole. Once the
// output has failed, no more batches are formed: a run of billions of words stops within
// a buffer of the failure.
template <class PutData>
std::uint32_t write_numbered_words(ImageWriter& output, std::uint32_t address, std::size_t count,
                                   std::size_t data_size, std::size_t data_slack,
                                   PutData put_data) {
  const std::size_t line = AddressField::kMaxSize + data_size + ImageWriter::kLineEnd.size();
  const std::size_t room = output.capacity() > data_slack ? output.capacity() - data_slack : 0;
  const std::size_t most = room / line;
  // Too small a buffer for a batch, or lines of another format: one word at a time.
  if (most == 0 || !output.plain()) {
    std::string digits(data_size + data_slack, '\0');
    for (; count > 0 && !output.failed(); --count) {
      put_data(digits.data());
      output.write_word(address++, {digits.data(), data_size});
    }
    return address;
  }
  char head[8] = {};  // "@" and the digits before the last one
  std::size_t head_size = 0;
  while (count > 0 && !output.failed()) {
    const std::size_t batch = count < most ? count : most;
    char* out = output.reserve(batch * line + data_slack);
    for (std::size_t i = 0; i < batch; ++i, ++address) {
      if (head_size == 0 || (address & 0xF) == 0) {
        if (address < 16) {
          head[0] = '@';
          head_size = 1;
        } else {
          char field[16];
          head_size = static_cast<std::size_t>(AddressField::put(field, address >> 4) - field - 1);
          std::memcpy(head, field, 8);
        }
      }
      std::memcpy(out, head, 8);
      out += head_size;
      out[0] = kUpperHexDigits[address & 0xF];
      out[1] = '\t';
      put_data(out + 2);
      out = ImageWriter::put_line_end(out + 2 + data_size);
    }
    output.commit(out);
    count -= batch;
  }
  return address;
}

// Words of bytes_per_word bytes, numbered from the address on, count of them; gives the
// next address. put_byte(out) stores the two digits of the next byte of the input at
// out. A word's first byte is written first, or last when big_endian is false.
template <class PutByte>
std::uint32_t write_byte_words(ImageWriter& output, std::uint32_t address, std::size_t count,
                               unsigned bytes_per_word, bool big_endian, PutByte put_byte) {
  const std::size_t last = 2 * (bytes_per_word - 1);
  return write_numbered_words(output, address, count, 2 * bytes_per_word, 0, [&](char* out) {
    for (std::size_t k = 0; k < bytes_per_word; ++k)
      put_byte(out + (big_endian ? 2 * k : last - 2 * k));
  });
}

// A fill word's data text: the fill byte's two upper-case digits repeated to count.
inline std::string fill_digits(std::uint8_t fill, std::size_t count) {
  std::string digits(count, kUpperHexDigits[fill >> 4]);
  for (std::size_t k = 1; k < count; k += 2) digits[k] = kUpperHexDigits[fill & 0xF];
  return digits;
}

// Words of bytes_per_word fill bytes, numbered from the address on, count of them.
inline std::uint32_t write_fill_words(ImageWriter& output, std::uint32_t address, std::size_t count,
                                      unsigned bytes_per_word, std::uint8_t fill) {
  const std::string digits = fill_digits(fill, 2 * std::size_t{bytes_per_word});
  return write_numbered_words(output, address, count, digits.size(), 0,
                              [&](char* out) { std::memcpy(out, digits.data(), digits.size()); });
}

}  // namespace verilog_hex
