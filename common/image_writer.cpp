#include "image_writer.hpp"

#include "hex_digits.hpp"

namespace verilog_hex {

AddressField AddressField::from_digits(std::string_view digits) {
  const bool as_written = !digits.empty() && digits.size() <= 8 &&
                          (digits[0] != '0' || digits.size() == 1) && all_upper_hex_digits(digits);
  if (!as_written) {
    std::uint32_t address = 0;
    for (const char c : digits)
      address = address << 4 | static_cast<std::uint32_t>(hex_digit_value(c));
    return AddressField(address);
  }
  AddressField field;
  field.text_[0] = '@';
  TextWriter::copy_short(field.text_ + 1, digits);
  field.text_[digits.size() + 1] = '\t';
  field.size_ = digits.size() + 2;
  return field;
}

void ImageWriter::write_long_word(const AddressField& address, std::string_view data) {
  text_.append(address.text());
  text_.append(data);
  text_.append("\r\n");
}

}  // namespace verilog_hex
