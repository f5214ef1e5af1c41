// The records a worker process and the pool's parent send each other, on arbitrary bytes:
// each side takes records until one is incomplete or refused, and never reads past the end.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/core/pool_records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t offset = 0;
    WorkerNews news{};
    while (take_news(bytes, offset, news) == RecordTake::Whole) {
    }
    if (offset > bytes.size()) {
        std::abort();
    }
    offset = 0;
    PoolJob job{};
    while (take_job(bytes, offset, job) == RecordTake::Whole) {
    }
    if (offset > bytes.size()) {
        std::abort();
    }
    return 0;
}
