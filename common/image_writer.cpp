#include "image_writer.hpp"

namespace verilog_hex {

void ImageWriter::write_long_word(const AddressField& address, std::string_view data) {
  text_.append(address.text());
  text_.append(data);
  text_.append("\r\n");
}

}  // namespace verilog_hex
