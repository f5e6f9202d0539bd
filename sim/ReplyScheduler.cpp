#include "sim/ReplyScheduler.h"

#include <algorithm>

namespace korvane {

void ReplyScheduler::post(const Bytes& reply, const LineTiming& timing) {
    const std::size_t chunkSize = timing.chunkSize == 0 ? reply.size() : timing.chunkSize;
    Duration due = timing.latency;
    for (std::size_t at = 0; at < reply.size(); at += chunkSize) {
        const std::size_t length = std::min(chunkSize, reply.size() - at);
        timers_.schedule(
            due, [this, chunk = Bytes(reply.begin() + static_cast<std::ptrdiff_t>(at),
                                      reply.begin() + static_cast<std::ptrdiff_t>(at + length))] {
                deliver_(chunk);
            });
        due += timing.chunkGap;
    }
}

}  // namespace korvane
