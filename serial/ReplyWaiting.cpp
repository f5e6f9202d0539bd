// Request and reply: the port delivers bytes in chunks whenever they come; a wait polls the
// receive buffer until the expected count is there or its budget is spent.
#include "platform/Log.h"
#include "serial/SimpleSerial.h"

namespace korvane {

void SimpleSerial::waitForReply(ResponseBlock completion, std::int32_t budgetMs,
                                std::int32_t expectedCount) {
    if (waiting_) {
        // The second wait empties the buffer the first one reads: a fault of the caller.
        logLine("Two exchanges overlap on " + portPath_);
    }
    waiting_ = true;
    portDelegate->resetData();
    check(std::move(completion), budgetMs, expectedCount);
}

void SimpleSerial::check(ResponseBlock completion, std::int32_t budgetMs,
                         std::int32_t expectedCount) {
    const std::uint64_t received = portDelegate->dataLength();
    // The count is widened with its sign: a negative one is never reached.
    const auto expected = static_cast<std::uint64_t>(static_cast<std::int64_t>(expectedCount));
    if (budgetMs > 0 && received < expected) {
        timers.schedule(kPollInterval, [this, completion = std::move(completion), budgetMs,
                                        expectedCount]() mutable {
            check(std::move(completion), budgetMs - kBudgetStepMs, expectedCount);
        });
        return;
    }
    // The completion gets a copy: it may start the next exchange, which empties the buffer, or
    // destroy this link.
    const Bytes reply(portDelegate->data(), portDelegate->data() + received);
    waiting_ = false;
    completion(!reply.empty(), reply);
}

bool SimpleSerial::send(ByteView bytes) {
    logLine("Writing " + describeBytes(bytes));
    return serialPort->sendData(bytes);
}

}  // namespace korvane
