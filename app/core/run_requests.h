// One decode request per file of a run: the window's options or the command line's, with the
// play length the header scan finds and the planned output.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/core/run_types.h"
#include "engine/request.h"

// The texts a request points at; must outlive the decode.
struct RequestTexts {
    std::string input;
    std::string output;
    std::string fadeIn;
    std::string fadeOut;
};

// The play length the header scan finds, in ms; 0 when it finds none. exact: without the
// encoder's delay and padding, as an exact-length decode plays it.
std::uint32_t scan_play_length_ms(const std::string& inputPath, bool exact = false);

// Builds the request of a file from its input path, all but its play length; texts receives
// the strings the request points at.
using RequestBuilder =
    std::function<DecodeRequest(const std::string& inputPath, RequestTexts& texts)>;

// The one request of a file: the builder's, with the play length the header scan finds (the
// exact one when the request asks for exact length).
DecodeRequest build_request(const RequestBuilder& build, const std::string& inputPath,
                            RequestTexts& texts);
// The same for a file of a run, written to its planned output when it has one.
DecodeRequest build_request(const RequestBuilder& build, const BatchFile& file,
                            RequestTexts& texts);

// The window's request for one file: fades of at least 1 s, 16-bit unless 8-bit is chosen,
// batch_progress as the callback.
DecodeRequest fill_request(const BatchOptions& options, const std::string& inputPath,
                           RequestTexts& texts);

// fill_request over a copy of options.
RequestBuilder window_requests(const BatchOptions& options);
