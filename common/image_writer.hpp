#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "hex_digits.hpp"
#include "output_format.hpp"
#include "text_writer.hpp"

namespace verilog_hex {

// A word line's address as it is written: "@", the address in upper-case hexadecimal
// without leading zeros (zero is "0"), TAB. Formed once, it can go to any number of images.
class AddressField {
 public:
  static constexpr std::size_t kMaxSize = 10;  // "@FFFFFFFF" TAB

  explicit AddressField(std::uint32_t address)
      : size_(static_cast<std::size_t>(put(own_, address) - own_)) {}
  // True when a field as read ("@", at most eight hexadecimal digits of either case,
  // TAB, with sixteen bytes readable from its start) is already in the written form.
  static bool in_written_form(std::string_view field) {
    const std::size_t digits = field.size() - 2;
    return digits > 0 && (field[1] != '0' || digits == 1) &&
           (lower_case_hex_letters(field.data() + 1) & ((1u << digits) - 1)) == 0;
  }
  // From a field as read, as above. A field already in the written form is copied from
  // where it was read, which must outlive this; others are formed from their value.
  static AddressField from_field(std::string_view field) {
    if (!in_written_form(field)) {
      std::uint32_t address = 0;
      for (const char c : field.substr(1, field.size() - 2)) {
        address = address << 4 | static_cast<std::uint32_t>(hex_digit_value(c));
      }
      return AddressField(address);
    }
    AddressField copied;
    copied.source_ = field.data();
    copied.size_ = field.size();
    return copied;
  }

  std::string_view text() const { return {source_ != nullptr ? source_ : own_, size_}; }

  // Stores the field of the address at out and gives its end. All eight digits are
  // formed at once and stored in one go, so the store may reach kMaxSize bytes past out
  // whatever the field's size.
  static char* put(char* out, std::uint32_t address) {
    *out++ = '@';
    const int digits = address == 0 ? 1 : (std::bit_width(address) + 3) / 4;
    std::uint64_t text = eight_hex_digits(address);
    // The leading zeros go: the first digit kept must come first in memory.
    if constexpr (std::endian::native == std::endian::little) {
      text >>= 8 * (8 - digits);
    } else {
      text <<= 8 * (8 - digits);
    }
    std::memcpy(out, &text, 8);
    out += digits;
    *out++ = '\t';
    return out;
  }

 private:
  AddressField() = default;

  char own_[16];
  const char* source_ = nullptr;  // the field as read, when it is copied from there
  std::size_t size_ = 0;
};

// Writes an image: one word line a word, by default "@" address TAB data CR LF and
// nothing else, or as another output format writes its lines. The data text is written
// as it stands (in a binary format, each character as four) and must hold no LF.
class ImageWriter {
 public:
  // Every line's end, on every platform.
  static constexpr std::string_view kLineEnd = "\r\n";
  // The fixed size of the moves write_slices() copies fields and data texts in.
  static constexpr std::size_t kSliceMove = 16;

  explicit ImageWriter(std::unique_ptr<BufferSink> sink,
                       std::size_t capacity = TextWriter::kDefaultCapacity)
      : text_(std::move(sink), capacity) {}
  // With buffers from a pool that other writers share.
  ImageWriter(std::unique_ptr<BufferSink> sink, std::shared_ptr<BufferPool> pool)
      : text_(std::move(sink), std::move(pool)) {}
  // Writing each full buffer at once.
  explicit ImageWriter(std::unique_ptr<OutputFile> file,
                       std::size_t capacity = TextWriter::kDefaultCapacity)
      : text_(write_at_once(std::move(file)), capacity) {}

  // The format of the lines from here on; the header and trailer are the caller's.
  void set_format(const OutputFormat& format) {
    format_ = &format;
    plain_ = &format == &kVerilogHex;
  }
  const OutputFormat& format() const { return *format_; }
  // True for VerilogHex lines, which the fast paths of the tools write themselves.
  bool plain() const { return plain_; }
  // Text as it stands, such as a header.
  void write_text(std::string_view text) { text_.append(text); }

  [[gnu::always_inline]] void write_word(std::uint32_t address, std::string_view data) {
    if (!plain_) {
      if (format_->address == AddressForm::intel_hex) return write_record(address, data);
      if (format_->address == AddressForm::none && !format_->binary) return write_data_line(data);
      return write_formatted_word(address, data);
    }
    const std::size_t size = AddressField::kMaxSize + data.size() + kLineEnd.size();
    if (size > text_.capacity()) return write_long_word(AddressField(address).text(), data);
    char* out = AddressField::put(text_.reserve(size), address);
    end_line(out, data);
  }

  // For formatters of their own lines, as a tool's batch loops: room for count bytes (at
  // most the capacity) at the returned place, then the end of what was stored there.
  std::size_t capacity() const { return text_.capacity(); }
  char* reserve(std::size_t count) { return text_.reserve(count); }
  void commit(const char* end) { text_.commit(end); }
  static char* put_line_end(char* out) {
    std::memcpy(out, kLineEnd.data(), kLineEnd.size());
    return out + kLineEnd.size();
  }

  // The parts of a word line in a text format whose addresses are hexadecimal digits,
  // for formatters of their own lines; nothing for a binary or record format. The lead
  // goes before every line but the output's first: at_first_line() tells, and
  // lines_written() says that lines were written.
  struct LineParts {
    std::string_view lead;
    std::string_view mark;       // before the address's digits: "@" or nothing
    std::string_view separator;  // after them
    std::string_view end;
    bool addressed;
  };
  std::optional<LineParts> line_parts() const {
    const OutputFormat& format = *format_;
    if (format.binary || format.address == AddressForm::intel_hex) return std::nullopt;
    const bool verilog = format.address == AddressForm::verilog;
    return LineParts{format.lead, verilog ? "@" : "", verilog ? "\t" : " : ", format.line_end,
                     format.address != AddressForm::none};
  }
  bool at_first_line() const { return first_line_; }
  void lines_written() { first_line_ = false; }

  // A line of the address field as it stands and the data text.
  [[gnu::always_inline]] void write_field_word(std::string_view field, std::string_view data) {
    const std::size_t size = field.size() + data.size() + kLineEnd.size();
    if (size > text_.capacity()) return write_long_word(field, data);
    char* out = text_.reserve(size);
    TextWriter::copy_short(out, field);
    end_line(out + field.size(), data);
  }

  // A word line whose data text comes in pieces: the address field, each piece in
  // order, then the line end.
  void begin_word(std::uint32_t address);
  void add_data(std::string_view piece) {
    if (format_->address == AddressForm::intel_hex) {
      record_data_.append(piece);
      return;
    }
    if (!format_->binary) return text_.append(piece);
    add_binary_data(piece);
  }
  void end_word() {
    if (format_->address == AddressForm::intel_hex)
      return write_record(record_address_, record_data_);
    text_.append(format_->line_end);
  }

  // The scratch file's first size bytes, copied inside the system (see TextWriter).
  std::optional<bool> append_from(ScratchFile& scratch, std::uint64_t size) {
    return text_.append_from(scratch, size);
  }
  // The first size bytes written replaced with start (see TextWriter).
  bool can_rewrite() const { return text_.can_rewrite(); }
  bool replace_start(std::uint64_t size, std::string_view start) {
    return text_.replace_start(size, start);
  }

  // A mark to take back to, and the taking back (see TextWriter).
  std::uint64_t position() const { return text_.position(); }
  bool cut_back(std::uint64_t position) { return text_.cut_back(position); }

  // What is buffered on its way, the buffer back to its pool until more comes.
  void release() { text_.release(); }
  // Flushes and releases the output; false when any write, the flush or the close failed.
  bool finish() { return text_.finish(); }
  // True once a write has failed, so that a caller may stop reading at once.
  bool failed() const { return text_.failed(); }

 private:
  [[gnu::always_inline]] void end_line(char* out, std::string_view data) {
    TextWriter::copy_short(out, data);
    text_.commit(put_line_end(out + data.size()));
  }
  // A line of a format without addresses: the lead, the data text, the line end.
  [[gnu::always_inline]] void write_data_line(std::string_view data) {
    const std::string_view lead = first_line_ ? std::string_view() : format_->lead;
    const std::string_view end = format_->line_end;
    const std::size_t size = lead.size() + data.size() + end.size();
    if (size > text_.capacity()) return write_formatted_word(0, data);
    char* out = text_.reserve(size);
    first_line_ = false;
    TextWriter::copy_short(out, lead);
    out += lead.size();
    TextWriter::copy_short(out, data);
    out += data.size();
    TextWriter::copy_short(out, end);
    text_.commit(out + end.size());
  }
  // A line longer than the buffer goes out in pieces.
  void write_long_word(std::string_view field, std::string_view data);
  void write_formatted_word(std::uint32_t address, std::string_view data);
  // An Intel HEX data record of the word's bytes (its hexadecimal digits, high byte
  // first), after the extended linear address record its address needs.
  void write_record(std::uint32_t address, std::string_view data);
  void add_binary_data(std::string_view piece);
  static char* put_bits(char* out, char c);
  static char* copy(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
  }

  TextWriter text_;
  const OutputFormat* format_ = &kVerilogHex;
  bool plain_ = true;
  bool first_line_ = true;
  std::uint32_t announced_high_ = 0;  // the linear address the records' addresses extend
  std::uint32_t record_address_ = 0;  // a record whose data comes in pieces
  std::string record_data_;
};

}  // namespace verilog_hex
