// The player's tag display (libid3tag) on arbitrary tag bytes, as met inside a stream and
// parsed by read_stream_tag.
#include <id3tag.h>

#include <cstdint>

#include "engine/tag_display.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    signed long length = id3_tag_query(data, size);
    if (length <= 0 || static_cast<std::size_t>(length) > size) {
        return 0;
    }
    id3_tag* tag = parse_checked(data, static_cast<id3_length_t>(length));
    if (tag != nullptr) {
        show_tag(tag);
        id3_tag_delete(tag);
    }
    return 0;
}
