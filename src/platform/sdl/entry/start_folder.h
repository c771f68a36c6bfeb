// What the player's command line asks for before the program starts (see start_folder.cpp).
#pragma once

namespace fwentry {

// Acts on the command line: -1 when the program is to start (in the folder asked
// for, which is then the current folder), else the status to exit with at once.
int applyArguments(int argc, char** argv);

}  // namespace fwentry
