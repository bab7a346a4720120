#include "image_writer.hpp"

#include <algorithm>
#include <cstring>

namespace verilog_hex {

void ImageWriter::begin_word(std::uint32_t address) {
  if (format_->address == AddressForm::intel_hex) {
    record_address_ = address;
    record_data_.clear();
    return;
  }
  if (!first_line_) text_.append(format_->lead);
  first_line_ = false;
  const AddressField formed(address);
  const std::string_view field = formed.text();
  switch (format_->address) {
    case AddressForm::none:
      break;
    case AddressForm::verilog:
      text_.append(field);
      break;
    case AddressForm::mif:
      text_.append(field.substr(1, field.size() - 2));
      text_.append(" : ");
      break;
    case AddressForm::intel_hex:
      break;
  }
}

namespace {

// ":", the record's bytes in upper-case hexadecimal, and their checksum: the two's
// complement of their sum's low byte.
char* put_record(char* out, std::span<const std::uint8_t> head, std::string_view data) {
  *out++ = ':';
  unsigned sum = 0;
  for (const std::uint8_t byte : head) {
    sum += byte;
    *out++ = kUpperHexDigits[byte >> 4];
    *out++ = kUpperHexDigits[byte & 0xF];
  }
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const int high = hex_digit_value(data[i]);
    const int low = hex_digit_value(data[i + 1]);
    sum += static_cast<unsigned>(high << 4 | low);
    *out++ = kUpperHexDigits[high];
    *out++ = kUpperHexDigits[low];
  }
  const unsigned checksum = (0x100 - (sum & 0xFF)) & 0xFF;
  *out++ = kUpperHexDigits[checksum >> 4];
  *out++ = kUpperHexDigits[checksum & 0xF];
  return out;
}

}  // namespace

void ImageWriter::write_record(std::uint32_t address, std::string_view data) {
  // ":", 2 + 4 bytes, the checksum, the line end; and the data record.
  constexpr std::size_t kBaseRecord = 1 + 2 * 7 + 2;
  char* out = text_.reserve(kBaseRecord + 1 + 2 * 5 + data.size() + 2);
  const std::uint32_t high = address >> 16;
  if (high != announced_high_) {
    announced_high_ = high;
    const std::uint8_t base[] = {
        2, 0, 0, 4, static_cast<std::uint8_t>(high >> 8), static_cast<std::uint8_t>(high)};
    out = put_line_end(put_record(out, base, {}));
  }
  const std::uint8_t head[] = {static_cast<std::uint8_t>(data.size() / 2),
                               static_cast<std::uint8_t>(address >> 8),
                               static_cast<std::uint8_t>(address), 0};
  text_.commit(put_line_end(put_record(out, head, data)));
}

void ImageWriter::write_formatted_word(std::uint32_t address, std::string_view data) {
  const OutputFormat& format = *format_;
  if (format.address == AddressForm::intel_hex) return write_record(address, data);
  const std::size_t data_size = format.binary ? 4 * data.size() : data.size();
  // The address field's store may reach kMaxSize past it.
  const std::size_t size =
      format.lead.size() + 2 * AddressField::kMaxSize + 3 + data_size + format.line_end.size();
  if (size > text_.capacity()) {  // in pieces
    begin_word(address);
    add_data(data);
    end_word();
    return;
  }
  char* out = text_.reserve(size);
  if (!first_line_) out = copy(out, format.lead);
  first_line_ = false;
  if (format.address != AddressForm::none) {
    char* const field = out;
    out = AddressField::put(out, address);
    if (format.address == AddressForm::mif) {  // no "@", " : " for the TAB
      std::memmove(field, field + 1, static_cast<std::size_t>(out - field - 2));
      out = copy(out - 2, " : ");
    }
  }
  if (format.binary) {
    for (const char c : data) out = put_bits(out, c);
  } else {
    TextWriter::copy_short(out, data);
    out += data.size();
  }
  TextWriter::copy_short(out, format.line_end);
  text_.commit(out + format.line_end.size());
}

void ImageWriter::add_binary_data(std::string_view piece) {
  char bits[256];
  while (!piece.empty()) {
    const std::size_t part = std::min(piece.size(), sizeof bits / 4);
    char* out = bits;
    for (const char c : piece.substr(0, part)) out = put_bits(out, c);
    text_.append({bits, 4 * part});
    piece.remove_prefix(part);
  }
}

// A hexadecimal digit as its four bits, high first; any other character four times.
char* ImageWriter::put_bits(char* out, char c) {
  const int value = hex_digit_value(c);
  for (int bit = 0; bit < 4; ++bit) {
    *out++ = value < 0 ? c : static_cast<char>('0' + (value >> (3 - bit) & 1));
  }
  return out;
}

void ImageWriter::write_long_word(std::string_view field, std::string_view data) {
  text_.append(field);
  text_.append(data);
  text_.append(kLineEnd);
}

}  // namespace verilog_hex
