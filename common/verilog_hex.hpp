#pragma once

// The VerilogHex library shared by both tools: the console, command line and file system
// they use, the text reader and writer with their fixed line rules, the image writer,
// the unsigned number parse and the word line parse.

#include "command_line.hpp"
#include "console.hpp"
#include "file_name.hpp"
#include "file_system.hpp"
#include "hex_digits.hpp"
#include "image_writer.hpp"
#include "number_parse.hpp"
#include "output_batch.hpp"
#include "run_status.hpp"
#include "run_steps.hpp"
#include "text_reader.hpp"
#include "text_writer.hpp"
#include "word_line.hpp"
