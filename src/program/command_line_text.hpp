// The program's arguments as the one command-line text the request parser reads.
#pragma once

#include <string>

namespace tracora {

// Joins argv[1..] with blanks. The shell has removed the quotes around arguments that hold
// blanks; they are put back ("/KEY=a b" becomes /KEY="a b", a bare "a b" becomes "a b") so the
// parser sees what the user meant.
std::string CommandLineText(int argc, const char* const* argv);

}  // namespace tracora
