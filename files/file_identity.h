// Which names are the same file. In: a command's input and output names ("-" is standard input
// among inputs and standard output among outputs). Out: a refusal when an output is one of the
// inputs, or two outputs are one file, so that a command never writes over what it reads, and
// when `-` names a standard stream the command was started without. Character devices (a
// terminal, /dev/null) may be both.
#pragma once

#include <string>
#include <vector>

// Returns an error text naming the clash (or the closed stream), or an empty text.
std::string RefuseCollisions(const std::vector<std::string>& inputs,
                             const std::vector<std::string>& outputs);
