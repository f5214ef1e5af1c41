#include "app/core/run_requests.h"

#include "app/core/batch.h"
#include "app/core/output_name.h"
#include "info/mpeg_info.h"

std::uint32_t scan_play_length_ms(const std::string& inputPath, bool exact) {
    MpegInfo info = mpeg_info_scan(inputPath.c_str(), exact);
    return static_cast<std::uint32_t>(info.durationMs);
}

DecodeRequest build_request(const RequestBuilder& build, const std::string& inputPath,
                            RequestTexts& texts) {
    DecodeRequest request = build(inputPath, texts);
    request.play_length_ms = scan_play_length_ms(inputPath, request.exact_length != 0);
    return request;
}

DecodeRequest build_request(const RequestBuilder& build, const BatchFile& file,
                            RequestTexts& texts) {
    DecodeRequest request = build_request(build, input_path(file), texts);
    if (!file.output.empty()) {
        texts.output = file.output;
        request.output_path = texts.output.c_str();
    }
    return request;
}

DecodeRequest fill_request(const BatchOptions& options, const std::string& inputPath,
                           RequestTexts& texts) {
    DecodeRequest request;
    decode_request_init(&request);
    texts.input = inputPath;
    texts.output = output_file_path(options.outputFolder, inputPath);
    texts.fadeIn = std::to_string(options.fadeIn < 1 ? 1 : options.fadeIn);
    texts.fadeOut = std::to_string(options.fadeOut < 1 ? 1 : options.fadeOut);
    request.input_path = texts.input.c_str();
    request.output_path = texts.output.c_str();
    request.fade_in_text = texts.fadeIn.c_str();
    request.fade_out_text = texts.fadeOut.c_str();
    request.skip_silence = options.skipSilence ? 1 : 0;
    if (options.eightBit) {
        request.bit_depth_text = "8";
    }
    request.progress = batch_progress;
    request.normalize = options.normalize ? 1 : 0;
    request.exact_length = options.exactLength ? 1 : 0;
    request.copy_tags = options.copyTags ? 1 : 0;
    if (options.outputFormat == OutputFormat::CdAudio) {
        // What a burner needs, whatever the bit depth chosen: 16-bit stereo at 44100 Hz,
        // gapless.
        request.bit_depth_text = "16";
        request.output_rate = 44100;
        request.stereo = 1;
        request.exact_length = 1;
    } else if (options.outputFormat == OutputFormat::Video48k) {
        request.output_rate = 48000;
    }
    request.threads = options.threadsPerFile;
    request.loudness = options.loudness ? 1 : 0;
    request.replaygain = options.replayGain ? 1 : 0;
    request.target_lufs = options.targetLufs;
    return request;
}

RequestBuilder window_requests(const BatchOptions& options) {
    return [options](const std::string& inputPath, RequestTexts& texts) {
        return fill_request(options, inputPath, texts);
    };
}
