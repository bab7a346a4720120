#pragma once

// The VerilogHex library shared by both tools: the console and file system they use, the
// text reader and writer with their fixed line rules, the unsigned number parse and the
// word line parse.

#include "console.hpp"
#include "file_system.hpp"
#include "number_parse.hpp"
#include "output_batch.hpp"
#include "text_reader.hpp"
#include "text_writer.hpp"
#include "word_line.hpp"
