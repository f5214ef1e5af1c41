// The tag chunks for the WAV file (--tags) on arbitrary file bytes: the leading ID3v2 tag is
// checked and copied, both tags parsed, the chunks built.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/wav_tags.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string path = write_input("tagged.mp3", data, size);
    std::uint32_t length = 0;
    std::uint32_t warnings = 0;
    unsigned char* chunks = wav_tag_chunks(path.c_str(), &length, &warnings);
    if ((chunks == nullptr) != (length == 0) || length % 2 != 0) {
        std::abort();  // every chunk carries its pad byte
    }
    std::free(chunks);
    return 0;
}
