// Runs tests/support/tone_analysis.py (numpy, through /usr/bin/python3) and reads its figures.
#pragma once

#include <map>
#include <string>
#include <vector>

// True when /usr/bin/python3 can import numpy (Debian: python3-numpy).
bool numpy_available();

// The "name=value" figures the script prints for the arguments; empty when it fails (its
// message then goes to standard error).
std::map<std::string, double> spectrum_figures(const std::vector<std::string>& arguments);
