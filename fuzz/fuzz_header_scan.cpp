// The frame-header scans and the information lines on arbitrary bytes.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "info/mpeg_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string path = write_input("scan.mp3", data, size);
    MpegInfo first{};
    read_first_frame(&first, path.c_str());
    format_mpeg_info_lines(first);
    MpegInfo all{};
    scan_frames(&all, path.c_str());
    format_mpeg_info_lines(all);
    MpegInfo exact{};
    scan_frames_exact(&exact, path.c_str());
    EncoderGap gap;
    read_encoder_gap(&gap, path.c_str());
    format_encoder_gap_line(gap);
    return 0;
}
