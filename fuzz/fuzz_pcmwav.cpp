// The normalizer and its WAV layer on arbitrary file bytes.
#include <fcntl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "normalize/normalizer.h"
#include "normalize/pcmwav.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string path = write_input("input.wav", data, size);
    PcmWavFile file{};
    if (pcmwav_open(path.c_str(), O_RDONLY, &file) == 1) {
        std::vector<unsigned char> block(4096);
        while (pcmwav_read(&file, block.data(), static_cast<std::uint32_t>(block.size())) == 1) {
        }
        pcmwav_rewind(&file);
        pcmwav_seek(&file, -2);
        pcmwav_close(&file);
    }
    normalize_file(path.c_str());
    return 0;
}
