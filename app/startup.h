// The whole program: start-up, the main window's modal loop, and the end.
#pragma once

int run_program(int argc, char** argv);
