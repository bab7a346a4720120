#pragma once

// The VerilogHex library, whole: the byte streams it reads and writes files through,
// the block reader and the text rules over it, the text and image writers, the
// hexadecimal digits, the unsigned number parse, the word line parse, the Intel HEX
// record, a memory file's other lines, the naming rules and what a conversion gives
// back. It asks nothing of the operating system.

#include "block_reader.hpp"
#include "buffer_sink.hpp"
#include "byte_streams.hpp"
#include "conversion_result.hpp"
#include "file_name.hpp"
#include "hex_digits.hpp"
#include "image_writer.hpp"
#include "intel_hex.hpp"
#include "memory_file.hpp"
#include "number_parse.hpp"
#include "numbered_words.hpp"
#include "output_format.hpp"
#include "text_reader.hpp"
#include "text_writer.hpp"
#include "word_line.hpp"
