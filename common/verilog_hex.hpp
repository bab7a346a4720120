#pragma once

// The VerilogHex library shared by both tools: byte streams over files or memory, the
// text reader and writer with their fixed line rules, the unsigned number parse and the
// word line parse.

#include "byte_stream.hpp"
#include "number_parse.hpp"
#include "text_reader.hpp"
#include "text_writer.hpp"
#include "word_line.hpp"
