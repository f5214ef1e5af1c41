// decode_file on arbitrary bytes. The first byte chooses among the request's switches, so
// that the filters, the channel routing, the packers and the normalizer all see the input.
#include <cstdint>
#include <string>

#include "engine/request.h"
#include "fuzz/fuzz_support.h"

namespace {

std::int32_t keep_going(std::int32_t, std::int32_t) {
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t choice = size > 0 ? data[0] : 0;
    std::string input =
        write_input("input.mp3", size > 0 ? data + 1 : data, size > 0 ? size - 1 : 0);
    std::string output = scratch_folder() + "/output.wav";

    DecodeRequest request;
    decode_request_init(&request);
    request.input_path = input.c_str();
    request.output_path = output.c_str();
    request.play_length_ms = (choice & 0x80) != 0 ? 1500 : 0;
    request.progress = keep_going;
    request.fade_in_text = (choice & 0x01) != 0 ? "1" : "";
    request.fade_out_text = (choice & 0x01) != 0 ? "0.5" : "";
    request.skip_silence = (choice & 0x02) != 0 ? 1 : 0;
    request.normalize = (choice & 0x04) != 0 ? 1 : 0;
    request.mono = (choice & 0x08) != 0 ? 1 : 0;
    request.stereo = (choice & 0x10) != 0 ? 1 : 0;
    request.half_rate = (choice & 0x20) != 0 ? 1 : 0;
    static const char* const depths[] = {"16", "8", "24", "32"};
    request.bit_depth_text = depths[(choice >> 6) & 0x3];
    request.attenuation_text = (choice & 0x40) != 0 ? "-6" : "";
    // With a play length and fades: where the trimmed end decides the fade-out.
    request.exact_length = (choice & 0x81) == 0x81 ? 1 : 0;
    decode_file(&request);
    return 0;
}
