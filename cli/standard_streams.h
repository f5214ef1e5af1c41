// The three standard streams as the rest of the program expects them.
#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed. Otherwise the next file
// opened takes its number: a closed standard output would make the terminal's copy (or a
// capture file) descriptor 1, and the engine's messages and the display would mix.
void open_closed_standard_streams();
