// --dry-run: what a run would do with each input, and nothing written.
#pragma once

#include <cstdio>
#include <vector>

#include "app/core/output_plan.h"

// One line per input on out, names escaped for a terminal: those that ended before the plan
// (refused, missing, not MPEG audio), then each planned file; then a count. Returns the
// number of files that would fail or be refused.
int print_dry_run(const std::vector<FileOutcome>& before, const std::vector<PlannedFile>& plan,
                  std::FILE* out);
