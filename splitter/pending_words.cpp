#include "pending_words.hpp"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "numbered_words.hpp"

namespace splitter {

using verilog_hex::ImageWriter;

namespace {

// Lines whose address field may be copied from a word line's: addressed, without a lead.
bool fields_fit(const ImageWriter& output) {
  const auto parts = output.line_parts();
  return parts && parts->addressed && parts->lead.empty();
}

}  // namespace

void write_slices(ImageWriter& output, std::span<const WordText> words, std::size_t offset,
                  std::size_t digits) {
  constexpr std::size_t kMove = ImageWriter::kSliceMove;
  constexpr std::size_t kPartStore = 8;  // the separator's and the end's stores
  // The most a line's stores reach: the digits and the data in moves, the parts in stores.
  constexpr std::size_t line = 2 * kMove + 2 * kPartStore;
  const auto parts = output.line_parts();
  if (digits > kMove || !fields_fit(output) || output.capacity() < 2 * line) {
    for (const WordText& word : words) {
      const std::string_view data(word.data, word.data_size);
      const std::string_view slice =
          data.size() > offset ? data.substr(offset, digits) : std::string_view();
      if (output.plain()) {
        output.write_field_word({word.field, word.field_size}, slice);
      } else {
        output.write_word(address_of(word), slice);
      }
    }
    return;
  }
  // A VerilogHex line is the field as read; another format puts its own parts around the
  // field's digits. The shape is chosen once a call.
  const verilog_hex::PaddedPart separator(parts->separator), end(parts->end);
  const std::size_t most = (output.capacity() - line) / line;
  const auto write_batches = [&](auto plain) {
    while (!words.empty()) {
      const std::size_t batch = words.size() < most ? words.size() : most;
      char* out = output.reserve(batch * line + line);
      for (const WordText& word : words.first(batch)) {
        if constexpr (decltype(plain)::value) {
          std::memcpy(out, word.field, kMove);
          out += word.field_size;
        } else {
          std::memcpy(out, word.field + 1, kPartStore);  // at most eight digits
          out = separator.put(out + word.field_size - 2);
        }
        if (word.data_size > offset) {
          const std::size_t rest = word.data_size - offset;
          std::memcpy(out, word.data + offset, kMove);
          out += rest < digits ? rest : digits;
        }
        if constexpr (decltype(plain)::value) {
          out = ImageWriter::put_line_end(out);
        } else {
          out = end.put(out);
        }
      }
      output.commit(out);
      words = words.subspan(batch);
    }
  };
  if (output.plain()) return write_batches(std::true_type{});
  write_batches(std::false_type{});
}

void PendingWords::add_item(std::uint32_t address, std::string_view digits, char fill,
                            bool in_piece) {
  if (in_piece && digits.size() == word_digits_) return add(address, digits.data(), word_digits_);
  if (word_digits_ > kArena / 16) {  // too wide to form: straight on
    flush();
    if (in_line_) return spool_item(address, digits, fill);
    return write_item(address, digits, fill);
  }
  if (full() || kArena - arena_used_ < word_digits_) flush();
  char* const text = arena_.get() + arena_used_;
  const std::size_t fills = word_digits_ - digits.size();
  std::memset(text, fill, fills);
  std::memcpy(text + fills, digits.data(), digits.size());
  arena_used_ += word_digits_;
  place(address, text, word_digits_);
}

void PendingWords::keep_line() {
  in_line_ = false;
  if (spool_.empty()) return;
  spool_words(0, count_);
  count_ = arena_used_ = 0;
  spool_.rewind();
  spooled_address_ = 0;
  std::string digits;
  char head;
  while (spool_.read(&head, 1)) {
    const auto flags = static_cast<unsigned char>(head);
    std::uint32_t address = spooled_address_;
    char fill = '0';
    std::uint32_t size = flags >> kSizeShift;
    if ((flags & kNewAddress) != 0) spool_.read(reinterpret_cast<char*>(&address), 4);
    if ((flags & kOtherFill) != 0) spool_.read(&fill, 1);
    if (size == kLongSize) spool_.read(reinterpret_cast<char*>(&size), 4);
    digits.resize(size);
    if (!spool_.read(digits.data(), size)) break;
    spooled_address_ = address + 1;
    add_item(address, digits, fill, false);
  }
  spool_.clear();
}

void PendingWords::flush() {
  if (in_line_) {
    write(0, line_first_);
    spool_words(line_first_, count_);
  } else {
    write(0, count_);
  }
  count_ = line_first_ = arena_used_ = line_arena_ = 0;
}

void PendingWords::write(std::size_t first, std::size_t end) {
  if (checked_) return write_checked(first, end);
  const auto words = std::span(words_).subspan(first, end - first);
  for (std::size_t slice = 0; slice < banks_.size(); ++slice) {
    write_slices(*banks_[slice], words, slice * digits_, digits_);
  }
}

void PendingWords::write_checked(std::size_t first, std::size_t end) {
  const std::uint32_t* const addresses = addresses_.data();
  const std::size_t wanted = slices_ * digits_;
  for (std::size_t i = first; i < end;) {
    const std::uint64_t address = addresses[i];
    fill_to(address);
    const auto row = row_of(address);
    std::size_t run = i + 1;
    if (words_[i].data_size >= wanted) {
      const std::uint64_t row_end = (address / row_depth_ + 1) * row_depth_;
      while (run < end && addresses[run] == address + (run - i) && addresses[run] < row_end &&
             words_[run].data_size >= wanted) {
        ++run;
      }
      const auto words = std::span(words_).subspan(i, run - i);
      for (std::size_t slice = 0; slice < slices_; ++slice) {
        // In the first row a bank's addresses are the words' own, their fields as read.
        if (address < row_depth_ && fields_fit(*row[slice])) {
          write_slices(*row[slice], words, slice * digits_, digits_);
        } else {
          write_run(*row[slice], in_row(address), words, slice * digits_);
        }
      }
    } else {  // a VerilogHex word shorter than the banks
      const std::string_view data(words_[i].data, words_[i].data_size);
      for (std::size_t slice = 0; slice < slices_; ++slice) {
        row[slice]->write_word(in_row(address), data_slice(data, static_cast<std::int32_t>(slice),
                                                           static_cast<std::int32_t>(digits_)));
      }
    }
    next_ = std::uint64_t{addresses[run - 1]} + 1;
    i = run;
  }
}

void PendingWords::write_run(ImageWriter& bank, std::uint32_t address,
                             std::span<const WordText> words, std::size_t offset) const {
  constexpr std::size_t kMove = ImageWriter::kSliceMove;
  const WordText* word = words.data();
  if (digits_ <= kMove) {  // every text may be read kMove bytes from the offset
    verilog_hex::write_numbered_words(bank, address, words.size(), digits_, kMove - digits_,
                                      [&](char* out) {
                                        std::memcpy(out, word->data + offset, kMove);
                                        ++word;
                                      });
    return;
  }
  verilog_hex::write_numbered_words(bank, address, words.size(), digits_, 0, [&](char* out) {
    std::memcpy(out, word->data + offset, digits_);
    ++word;
  });
}

void PendingWords::fill(std::size_t slice, std::uint64_t from, std::uint64_t to) {
  while (from < to) {
    const std::uint64_t row_end = std::min(to, (from / row_depth_ + 1) * row_depth_);
    verilog_hex::write_numbered_words(
        *row_of(from)[slice], in_row(from), static_cast<std::size_t>(row_end - from), digits_, 0,
        [&](char* out) { std::memcpy(out, fill_word_.data(), digits_); });
    from = row_end;
  }
}

void PendingWords::spool_words(std::size_t first, std::size_t end) {
  for (const WordText& word : std::span(words_).subspan(first, end - first)) {
    const std::string_view data(word.data, word.data_size);
    const std::size_t digits = std::min(data.find_first_not_of(data[0]), data.size());
    spool_item(address_of(word), data.substr(digits), data[0]);
  }
}

void PendingWords::spool_item(std::uint32_t address, std::string_view digits, char fill) {
  char head[10];
  std::size_t size = 1;
  unsigned flags = 0;
  if (address != spooled_address_ || spool_.empty()) {
    flags |= kNewAddress;
    std::memcpy(head + size, &address, 4);
    size += 4;
  }
  if (fill != '0') {
    flags |= kOtherFill;
    head[size++] = fill;
  }
  const auto count = static_cast<std::uint32_t>(digits.size());
  if (count >= kLongSize) {
    std::memcpy(head + size, &count, 4);
    size += 4;
  }
  head[0] = static_cast<char>(flags | std::min(count, std::uint32_t{kLongSize}) << kSizeShift);
  spool_.append({head, size});
  spool_.append(digits);
  spooled_address_ = address + 1;
}

void PendingWords::write_item(std::uint32_t address, std::string_view digits, char fill) {
  char fills[64];
  std::memset(fills, fill, sizeof fills);
  const std::size_t first_digit = word_digits_ - digits.size();
  fill_to(address);
  next_ = std::uint64_t{address} + 1;
  const auto row = row_of(address);
  for (std::size_t slice = 0; slice < slices_; ++slice) {
    ImageWriter& bank = *row[slice];
    bank.begin_word(in_row(address));
    const std::size_t from = std::min(slice * digits_, word_digits_);
    const std::size_t to = std::min(from + digits_, word_digits_);
    for (std::size_t at = from; at < std::min(to, first_digit); at += sizeof fills) {
      bank.add_data({fills, std::min({sizeof fills, to - at, first_digit - at})});
    }
    const std::size_t digits_from = std::max(from, first_digit);
    if (to > digits_from) bank.add_data(digits.substr(digits_from - first_digit, to - digits_from));
    bank.end_word();
  }
}

}  // namespace splitter
