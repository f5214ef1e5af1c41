// The byte readers the engine and the header scan share, straight on the bytes: the header
// frame with its LAME tag, the Xing header at every bit position libmad can hand over, and
// the ID3v2 walk.
#include <cstdint>
#include <vector>

#include "mpeg/id3v2_walk.h"
#include "mpeg/lame_tag.h"
#include "mpeg/xing.h"

namespace {

void walk_tag(const std::uint8_t* data, std::size_t size) {
    Id3v2Header header;
    if (!id3v2_read_header(&header, data, size)) {
        return;
    }
    const std::size_t available = size - ID3V2_HEADER_SIZE;
    const std::size_t length = header.size < available ? header.size : available;
    std::vector<unsigned char> body(data + ID3V2_HEADER_SIZE, data + ID3V2_HEADER_SIZE + length);
    if ((header.flags & ID3V2_FLAG_UNSYNCHRONISED) != 0) {
        body = id3v2_remove_unsynchronisation(body.data(), body.size());
    }
    std::size_t start = 0;
    Id3v2ExtendedHeader extended;
    if ((header.flags & ID3V2_FLAG_EXTENDED_HEADER) != 0 &&
        id3v2_read_extended_header(&extended, body.data(), body.size(), header.version)) {
        start = extended.size < body.size() ? static_cast<std::size_t>(extended.size) : body.size();
    }
    Id3v2FrameWalk walk;
    id3v2_begin_frames(&walk, body.data(), body.size(), start, id3v2_frame_layout(header.version));
    Id3v2Frame frame;
    while (id3v2_next_frame(&walk, &frame) == Id3v2Step::Frame) {
        id3v2_frame_id_is_valid(frame);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HeaderFrame frame;
    parse_header_frame(&frame, data, size);
    XingInfo xing;
    for (std::size_t shift = 0; shift < 8 && shift < size * 8; ++shift) {
        parse_xing(&xing, data, shift, size * 8 - shift, HEADER_FRAME_XING | HEADER_FRAME_INFO);
    }
    walk_tag(data, size);
    return 0;
}
