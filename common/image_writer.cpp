#include "image_writer.hpp"

#include <algorithm>

namespace verilog_hex {

void ImageWriter::begin_word(std::uint32_t address) {
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
  }
}

void ImageWriter::write_formatted_word(std::uint32_t address, std::string_view data) {
  begin_word(address);
  add_data(data);
  end_word();
}

// Each hexadecimal digit as its four bits, high first; any other character four times.
void ImageWriter::add_binary_data(std::string_view piece) {
  char bits[256];
  while (!piece.empty()) {
    const std::size_t part = std::min(piece.size(), sizeof bits / 4);
    for (std::size_t i = 0; i < part; ++i) {
      const int value = hex_digit_value(piece[i]);
      for (int bit = 0; bit < 4; ++bit) {
        bits[4 * i + static_cast<std::size_t>(bit)] =
            value < 0 ? piece[i] : static_cast<char>('0' + (value >> (3 - bit) & 1));
      }
    }
    text_.append({bits, 4 * part});
    piece.remove_prefix(part);
  }
}

void ImageWriter::write_long_word(std::string_view field, std::string_view data) {
  text_.append(field);
  text_.append(data);
  text_.append(kLineEnd);
}

}  // namespace verilog_hex
