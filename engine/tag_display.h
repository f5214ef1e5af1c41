// Shows a file's ID3 tag on the message stream: up front from the file, or when a tag turns
// up inside the MPEG stream.
#pragma once

#include <id3tag.h>
#include <mad.h>

#include "engine/player_state.h"

// Prints the shown text frames and the first comment without description.
void show_tag(const id3_tag* tag);

// The first comment whose description is empty, or null; the described ones are for
// programs.
const id3_frame* plain_comment(const id3_tag* tag);

// id3_tag_parse after id3v2_tag_is_safe: a tag whose compressed frame declares an
// impossible size is skipped with a message (null).
id3_tag* parse_checked(const id3_byte_t* data, id3_length_t size);

// A tag of size bytes starts at the stream's this_frame. Skips it in the stream (reading the
// part not yet buffered straight from state->input_fd) and parses it. Returns the tag, which
// the caller releases with id3_tag_delete, or null after a message.
id3_tag* read_stream_tag(mad_stream* stream, id3_length_t size, PlayerState* state);

// Shows the tag of the file open on state->input_fd, or sets FLAG_STREAM_TAGS when the file's
// tag cannot be read that way. The descriptor is left at offset 0: the tag library shares its
// position through a duplicate and does not restore it for short files, which would make
// decoding start past the audio.
void show_file_tag(PlayerState* state);
