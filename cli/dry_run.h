// --dry-run: what a run would do with each input, and nothing written.
#pragma once

#include <cstdio>
#include <vector>

#include "app/core/output_plan.h"

// One line per planned file on out, names escaped for a terminal, then a count. Returns the
// number of files that would fail.
int print_dry_run(const std::vector<PlannedFile>& plan, std::FILE* out);
