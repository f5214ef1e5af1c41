#include "app/core/file_outcome.h"

#include <algorithm>

#include "app/core/system_message.h"

namespace {

// "detail: No space left on device", or the system's words alone without a detail.
std::string with_error(const std::string& detail, int error) {
    if (error == 0) {
        return detail;
    }
    return detail.empty() ? errno_message(error) : detail + ": " + errno_message(error);
}

}  // namespace

std::string reason_text(const Reason& reason) {
    switch (reason.kind) {
        case ReasonKind::None:
            return {};
        case ReasonKind::Text:
            return with_error(reason.detail, reason.error);
        case ReasonKind::Engine:
            return reason.detail.empty() ? "decoding failed" : reason.detail;
        case ReasonKind::NoAudio:
            return "no MPEG audio found";
        case ReasonKind::Output:
        case ReasonKind::Input:
            return with_error(reason.detail, reason.error);
        case ReasonKind::InputGone:
            return "the input vanished";
        case ReasonKind::NotRegular:
            return "not a regular file";
        case ReasonKind::OutputFolderGone:
            return "the output folder was removed";
        case ReasonKind::WavLimit:
            return "output would pass the 4 GiB WAV limit";
        case ReasonKind::Worker:
            return "worker process " + reason.detail;
        case ReasonKind::NoWorker:
            return with_error("no worker process could be started", reason.error);
        case ReasonKind::Exists:
            return "the WAV file exists";
        case ReasonKind::Stopped:
            return "kept with what was decoded";
        case ReasonKind::StoppedRemoved:
            return "its partial WAV file was removed";
        case ReasonKind::StoppedOlderKept:
            return "the older WAV file was kept";
        case ReasonKind::Cancelled:
            return "not started: the run was cancelled";
    }
    return {};
}

std::vector<std::string> message_lines(const std::string& text) {
    const std::string banner = decode_banner();
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find('\n', from);
        to = to == std::string::npos ? text.size() : to;
        // The banner opens every file's first line; the tag block under it lines up without.
        if (text.compare(from, banner.size(), banner) == 0) {
            from = std::min(to, from + banner.size());
        }
        if (to > from) {
            lines.push_back(text.substr(from, to - from));
        }
        from = to + 1;
    }
    return lines;
}
