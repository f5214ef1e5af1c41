// Where each file of a run writes its WAV file: flat into the output folder or mirroring the
// added folders, and what becomes of a WAV file that is already there. Decided before the run,
// so that a dry run shows exactly what the run would do.
#pragma once

#include <string>
#include <vector>

#include "app/core/run_types.h"

// The WAV path below the output folder: "<name>.wav", or with keepFolders, for a file found in
// an added folder, "<added folder's name>/<path below it>/<name>.wav" (the first level is the
// folder's own name, as cp -r makes it).
std::string relative_output_path(const BatchFile& file, bool keepFolders);

// The output folder, "/", and relative_output_path.
std::string planned_output_path(const BatchFile& file, const BatchOptions& options);

// "dir/name (n).wav" for "dir/name.wav": the name a kept-both file gets.
std::string numbered_output_path(const std::string& path, int n);

// Lower-cased ASCII letters: WAV files often go to FAT and exFAT drives, where A.wav and a.wav
// are one file.
std::string case_folded(std::string text);

enum class PlanAction { Decode, Skip, Fail };

struct PlannedFile {
    BatchFile file;  // with its output set
    PlanAction action;
    std::string reason;  // why it is skipped or fails
    bool renamed;        // the policy chose a new name, since the first one is taken
};

// Plans each file in order. Skip and Rename look at what exists now, and Rename never picks a
// name that an earlier file of the run got. With keepFolders the folders are created as
// needed, through the output folder's checks, when makeFolders is set (a dry run only
// checks); a file whose folder cannot be made fails. A file whose WAV path (compared without
// regard to letter case) an earlier file already has fails too: the list refuses those, but
// it may have been filled while the other layout was chosen.
std::vector<PlannedFile> plan_outputs(const std::vector<BatchFile>& files,
                                      const BatchOptions& options, bool makeFolders);

// The planned files to decode, in order.
std::vector<BatchFile> files_to_decode(const std::vector<PlannedFile>& plan);

// The outcome of a file the plan skips or fails; a file to decode has not started.
FileOutcome planned_outcome(const PlannedFile& entry);

// The outcomes a run of the plan would have if every file to decode were decoded: what a
// dry run judges the run's end by.
BatchResult dry_run_result(const std::vector<PlannedFile>& plan);

// Puts a run's outcomes (of files_to_decode(plan), in that order) in the plan's order, with
// the plan's skipped and failed files where they are listed.
void add_plan_outcome(const std::vector<PlannedFile>& plan, BatchResult& result);

// The end report's lines about skipped files; empty when none were skipped.
std::string skipped_report(const std::vector<std::string>& skipped);

// With Skip, a cancelled file's partial WAV file is removed after its decode, so that a WAV
// file found by the next run is always a finished one and the run can be resumed; otherwise
// decode unchanged. An empty decode stands for decode_file.
DecodeFunction output_decoder(const BatchOptions& options, DecodeFunction decode);
