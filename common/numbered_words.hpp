#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "hex_digits.hpp"
#include "image_writer.hpp"

namespace verilog_hex {

// The fixed parts of a text format's word lines, padded so that each goes out in one
// store of eight bytes.
struct PaddedPart {
  explicit PaddedPart(std::string_view part) : size(part.size()) {
    std::memcpy(text, part.data(), part.size());
  }
  char* put(char* out) const {
    std::memcpy(out, text, sizeof text);
    return out + size;
  }
  char text[8] = {};
  std::size_t size;
};

// Words numbered from the address on, count of them, each of data_size digits that
// put_data(out) stores at out; gives the next address. put_data may store up to
// data_slack bytes past the digits (in stores of a fixed size), which the room reserved
// here allows for and the next line overwrites. For long runs of words: the buffer is
// reserved a batch at a time, and only every sixteenth address is formed whole. Once the
// output has failed, no more batches are formed: a run of billions of words stops within
// a buffer of the failure. Lines of a binary or record format go one at a time.
template <class PutData>
std::uint32_t write_numbered_words(ImageWriter& output, std::uint32_t address, std::size_t count,
                                   std::size_t data_size, std::size_t data_slack,
                                   PutData put_data) {
  const auto parts = output.line_parts();
  constexpr std::size_t kPartSlack = 8;  // the parts' stores past their text
  const std::size_t line =
      parts ? parts->lead.size() + AddressField::kMaxSize + 2 + data_size + parts->end.size() : 0;
  const std::size_t room =
      output.capacity() > data_slack + kPartSlack ? output.capacity() - data_slack - kPartSlack : 0;
  const std::size_t most = parts ? room / line : 0;
  // Too small a buffer for a batch, or lines of a binary or record format: one at a time.
  if (most == 0) {
    std::string digits(data_size + data_slack, '\0');
    for (; count > 0 && !output.failed(); --count) {
      put_data(digits.data());
      output.write_word(address++, {digits.data(), data_size});
    }
    return address;
  }
  const PaddedPart lead(parts->lead), separator(parts->separator), end(parts->end);
  const std::size_t mark = parts->mark.size();
  char head[8] = {};  // the mark and the digits before the last one
  std::size_t head_kept = 0;
  // A batch of lines of one shape, chosen once: VerilogHex lines (no lead, the parts
  // known), lines with an address (and no lead), or a lead and data alone. The address
  // and the head's size stay in registers while the batch is formed.
  const auto write_batch = [&](auto plain, auto addressed, std::size_t batch, std::uint32_t first,
                               std::size_t& kept_head_size) {
    char* out = output.reserve(batch * line + data_slack + kPartSlack);
    std::uint32_t word = first;
    bool lead_first = !output.at_first_line();
    output.lines_written();
    std::size_t head_size = kept_head_size;
    for (std::size_t i = 0; i < batch; ++i, ++word) {
      if constexpr (decltype(addressed)::value) {
        if (head_size == 0 || (word & 0xF) == 0) {
          head[0] = '@';
          head_size = mark;
          if (word >= 16) {
            char field[16];
            const char* const field_end = AddressField::put(field, word >> 4);
            std::memcpy(head + mark, field + 1, 7);
            head_size = mark + static_cast<std::size_t>(field_end - field - 2);
          }
        }
      }
      if constexpr (decltype(plain)::value) {
        std::memcpy(out, head, 8);
        out += head_size;
        out[0] = kUpperHexDigits[word & 0xF];
        out[1] = '\t';
        put_data(out + 2);
        out = ImageWriter::put_line_end(out + 2 + data_size);
      } else {
        if constexpr (decltype(addressed)::value) {
          std::memcpy(out, head, 8);
          out += head_size;
          *out++ = kUpperHexDigits[word & 0xF];
          out = separator.put(out);
        } else {
          if (lead_first) out = lead.put(out);
          lead_first = true;
        }
        put_data(out);
        out = end.put(out + data_size);
      }
    }
    output.commit(out);
    kept_head_size = head_size;
  };
  using Yes = std::true_type;
  using No = std::false_type;
  while (count > 0 && !output.failed()) {
    const std::size_t batch = count < most ? count : most;
    if (output.plain()) {
      write_batch(Yes{}, Yes{}, batch, address, head_kept);
    } else if (parts->addressed) {
      write_batch(No{}, Yes{}, batch, address, head_kept);
    } else {
      write_batch(No{}, No{}, batch, address, head_kept);
    }
    address += static_cast<std::uint32_t>(batch);
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
