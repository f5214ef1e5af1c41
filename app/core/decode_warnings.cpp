#include "app/core/decode_warnings.h"

#include "engine/request.h"

std::vector<std::string> decode_warning_texts(std::uint32_t warnings) {
    static constexpr struct {
        std::uint32_t bit;
        const char* text;
    } TEXTS[] = {
        {WARNING_ID3_CHUNK_LEFT_OUT,
         "the ID3v2 tag is over 16 MiB: its \"id3 \" chunk was left out, the INFO fields kept"},
        {WARNING_ID3_TAG_DAMAGED, "the ID3v2 tag is damaged and was left out"},
        {WARNING_TAGS_NOT_COPIED, "not enough memory: the tags were left out"},
        {WARNING_LAME_TRIM_IGNORED,
         "the LAME tag's delay and padding cover the whole stream: decoded in full"},
    };
    std::vector<std::string> texts;
    for (const auto& entry : TEXTS) {
        if ((warnings & entry.bit) != 0) {
            texts.emplace_back(entry.text);
        }
    }
    return texts;
}
