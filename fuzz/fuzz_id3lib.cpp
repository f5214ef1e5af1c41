// The information page's tag reading (id3lib) on arbitrary file bytes.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "info/tag_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string path = write_input("tagged.mp3", data, size);
    read_tag_info(path.c_str());
    return 0;
}
