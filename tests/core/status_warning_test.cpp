// A file's details in the window say what its decode left out and why a stopped file was not
// kept, whether or not the engine's own lines were caught.
#include <gtest/gtest.h>

#include "app/core/file_status.h"

namespace {

TEST(StatusDetails, NameWhatWasLeftOutAndWhyAStoppedFileWasNotKept) {
    FileOutcome done;
    done.end = FileEnd::Decoded;
    done.stats.warnings = WARNING_ID3_CHUNK_LEFT_OUT | WARNING_LAME_TRIM_IGNORED;
    const std::string details = status_details(ended_status(done, 1000));
    EXPECT_NE(details.find("\nthe ID3v2 tag is over 16 MiB: its \"id3 \" chunk was left out, the "
                           "INFO fields kept\nthe LAME tag's delay and padding cover the whole "
                           "stream: decoded in full"),
              std::string::npos)
        << details;

    FileOutcome stopped;
    stopped.end = FileEnd::Partial;
    stopped.reason = {ReasonKind::StoppedOlderKept};
    EXPECT_EQ(status_details(ended_status(stopped, 420)),
              "stopped at 42%, removed\nthe older WAV file was kept");
}

}  // namespace
