#include "app/core/pool_records.h"

#include <cstring>

namespace {

constexpr std::uint32_t KIND_PROGRESS = 1;
constexpr std::uint32_t KIND_END = 2;
constexpr std::uint32_t KIND_JOB = 3;

// Larger texts are taken for a broken stream: paths and a file's messages are far smaller.
constexpr std::uint32_t MAX_TEXT = 64u << 20;

template <typename T>
void put(std::string& out, T value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

void put_text(std::string& out, const std::string& text) {
    put(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

// Reads forward from a copy of the caller's offset, which moves only once a whole record
// has been read.
class Reader {
public:
    Reader(const std::string& buffer, std::size_t offset) : buffer_(buffer), at_(offset) {}

    template <typename T>
    bool get(T& value) {
        if (buffer_.size() - at_ < sizeof value) {
            return false;
        }
        std::memcpy(&value, buffer_.data() + at_, sizeof value);
        at_ += sizeof value;
        return true;
    }

    bool get_text(std::string& text) {
        std::uint32_t size = 0;
        if (!get(size)) {
            return false;
        }
        if (size > MAX_TEXT) {
            invalid_ = true;
            return false;
        }
        if (buffer_.size() - at_ < size) {
            return false;
        }
        text.assign(buffer_, at_, size);
        at_ += size;
        return true;
    }

    std::size_t at() const { return at_; }
    // Incomplete unless a size read so far was absurd.
    RecordTake short_answer() const {
        return invalid_ ? RecordTake::Invalid : RecordTake::Incomplete;
    }

private:
    const std::string& buffer_;
    std::size_t at_;
    bool invalid_ = false;
};

}  // namespace

std::string encode_job(std::uint64_t index, const BatchFile& file) {
    std::string out;
    put(out, KIND_JOB);
    put(out, index);
    put_text(out, file.name);
    put_text(out, file.folder);
    put_text(out, file.root);
    put_text(out, file.output);
    put(out, static_cast<std::uint32_t>(file.existing));
    return out;
}

std::string encode_progress(std::int32_t totalKiB, std::int32_t doneKiB) {
    std::string out;
    put(out, KIND_PROGRESS);
    put(out, totalKiB);
    put(out, doneKiB);
    return out;
}

std::string encode_end(const FileOutcome& outcome, const std::string& messages) {
    const DecodeStats& stats = outcome.stats;
    std::string out;
    put(out, KIND_END);
    put(out, static_cast<std::int32_t>(outcome.end));
    put(out, static_cast<std::int32_t>(outcome.reason.kind));
    put(out, static_cast<std::int32_t>(outcome.reason.error));
    put(out, std::int32_t{outcome.engineRan ? 1 : 0});
    put(out, stats.frames_decoded);
    put(out, stats.duration_ms);
    put(out, stats.peak_millibel);
    put(out, stats.has_peak);
    put(out, stats.clipped_samples);
    put(out, stats.no_audio);
    put(out, stats.loudness);
    put(out, stats.gain_db);
    put(out, stats.album_gain_db);
    put(out, stats.has_album_gain);
    put(out, stats.gain_limit);
    put(out, stats.output_error);
    put(out, stats.warnings);
    put_text(out, outcome.reason.detail);
    put_text(out, outcome.output);
    put_text(out, messages);
    return out;
}

RecordTake take_job(const std::string& buffer, std::size_t& offset, PoolJob& job) {
    Reader in(buffer, offset);
    std::uint32_t kind = 0;
    if (!in.get(kind)) {
        return RecordTake::Incomplete;
    }
    if (kind != KIND_JOB) {
        return RecordTake::Invalid;
    }
    std::uint32_t existing = 0;
    if (!in.get(job.index) || !in.get_text(job.file.name) || !in.get_text(job.file.folder) ||
        !in.get_text(job.file.root) || !in.get_text(job.file.output) || !in.get(existing)) {
        return in.short_answer();
    }
    if (existing > static_cast<std::uint32_t>(ExistingPolicy::Rename)) {
        return RecordTake::Invalid;
    }
    job.file.existing = static_cast<ExistingPolicy>(existing);
    offset = in.at();
    return RecordTake::Whole;
}

RecordTake take_news(const std::string& buffer, std::size_t& offset, WorkerNews& news) {
    Reader in(buffer, offset);
    std::uint32_t kind = 0;
    if (!in.get(kind)) {
        return RecordTake::Incomplete;
    }
    if (kind != KIND_PROGRESS && kind != KIND_END) {
        return RecordTake::Invalid;
    }
    news.ended = kind == KIND_END;
    if (!news.ended) {
        if (!in.get(news.totalKiB) || !in.get(news.doneKiB)) {
            return RecordTake::Incomplete;
        }
    } else {
        std::int32_t end = 0;
        std::int32_t reasonKind = 0;
        std::int32_t error = 0;
        std::int32_t engineRan = 0;
        DecodeStats& stats = news.outcome.stats;
        if (!in.get(end) || !in.get(reasonKind) || !in.get(error) || !in.get(engineRan) ||
            !in.get(stats.frames_decoded) || !in.get(stats.duration_ms) ||
            !in.get(stats.peak_millibel) || !in.get(stats.has_peak) ||
            !in.get(stats.clipped_samples) || !in.get(stats.no_audio) || !in.get(stats.loudness) ||
            !in.get(stats.gain_db) || !in.get(stats.album_gain_db) ||
            !in.get(stats.has_album_gain) || !in.get(stats.gain_limit) ||
            !in.get(stats.output_error) || !in.get(stats.warnings) ||
            !in.get_text(news.outcome.reason.detail) || !in.get_text(news.outcome.output) ||
            !in.get_text(news.messages)) {
            return in.short_answer();
        }
        // Out-of-range values come from no worker of ours: the file counts as failed.
        const bool known = end >= 0 && end <= static_cast<std::int32_t>(FileEnd::NotStarted) &&
                           reasonKind >= 0 &&
                           reasonKind <= static_cast<std::int32_t>(ReasonKind::Cancelled);
        news.outcome.end = known ? static_cast<FileEnd>(end) : FileEnd::Failed;
        news.outcome.reason.kind = static_cast<ReasonKind>(reasonKind);
        news.outcome.reason.error = error;
        if (!known) {
            news.outcome.reason = {ReasonKind::Engine};
        }
        news.outcome.engineRan = engineRan != 0;
    }
    offset = in.at();
    return RecordTake::Whole;
}
