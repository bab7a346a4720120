#include "image_writer.hpp"

namespace verilog_hex {

void ImageWriter::write_long_word(std::string_view field, std::string_view data) {
  text_.append(field);
  text_.append(data);
  text_.append(kLineEnd);
}

}  // namespace verilog_hex
