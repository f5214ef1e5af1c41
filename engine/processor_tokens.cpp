#include "engine/processor_tokens.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

int processor_tokens_create(ProcessorTokens* tokens, std::int32_t total) {
    *tokens = {-1, -1, 0, nullptr};
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == -1) {
        return -1;
    }
    // A pipe holds at least a page: far more tokens than a run has processors.
    *tokens = {fds[0], fds[1], total, nullptr};
    processor_tokens_give(tokens, total);
    return 0;
}

int processor_tokens_take(const ProcessorTokens* tokens) {
    if (tokens == nullptr || tokens->read_fd == -1) {
        return 0;
    }
    char token;
    ssize_t got;
    do {
        got = read(tokens->read_fd, &token, 1);
    } while (got == -1 && errno == EINTR);
    if (got != 1) {
        return 0;  // EAGAIN: none free
    }
    // Counted after the read: a holder killed in between loses one token until the next
    // recount, rather than have its parent give back one it never took.
    if (tokens->held != nullptr) {
        tokens->held->fetch_add(1);
    }
    return 1;
}

void processor_tokens_give(const ProcessorTokens* tokens, std::int32_t count) {
    if (tokens == nullptr || tokens->write_fd == -1 || count <= 0) {
        return;
    }
    if (tokens->held != nullptr) {
        tokens->held->fetch_sub(count);
    }
    static const char bytes[64] = {};
    while (count > 0) {
        const auto size = static_cast<std::size_t>(count < 64 ? count : 64);
        ssize_t put = write(tokens->write_fd, bytes, size);
        if (put == -1 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return;  // a full pipe holds more than any run's processors; nothing to wait for
        }
        count -= static_cast<std::int32_t>(put);
    }
}

std::int32_t processor_tokens_free(const ProcessorTokens* tokens) {
    int count = 0;
    if (tokens == nullptr || tokens->read_fd == -1 ||
        ioctl(tokens->read_fd, FIONREAD, &count) == -1) {
        return 0;
    }
    return count;
}

void processor_tokens_recount(const ProcessorTokens* tokens, std::int32_t free) {
    if (tokens == nullptr || tokens->read_fd == -1) {
        return;
    }
    char bytes[64];
    ssize_t got;
    while ((got = read(tokens->read_fd, bytes, sizeof bytes)) > 0 ||
           (got == -1 && errno == EINTR)) {
    }
    ProcessorTokens unheld = *tokens;
    unheld.held = nullptr;
    processor_tokens_give(&unheld, free);
}

void processor_tokens_close(ProcessorTokens* tokens) {
    if (tokens->read_fd != -1) {
        close(tokens->read_fd);
    }
    if (tokens->write_fd != -1) {
        close(tokens->write_fd);
    }
    *tokens = {-1, -1, 0, nullptr};
}
