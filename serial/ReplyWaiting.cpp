// Request and reply: the port delivers bytes in chunks whenever they come; a wait polls the
// receive buffer until the expected count is there or its budget is spent. In fast mode it also
// ends as soon as the reply has reached what decides it.
#include "platform/Log.h"
#include "serial/SimpleSerial.h"

namespace korvane {

void SimpleSerial::waitForReply(ResponseBlock completion, std::int32_t budgetMs,
                                std::int32_t expectedCount, ReplyEnd fastEnd) {
    if (wait_) {
        // The second wait empties the buffer the first one reads: a fault of the caller.
        logLine("Two exchanges overlap on " + portPath_);
    }
    wait_ = Wait{++waits_, std::move(completion), fastEnd};
    portDelegate->resetData();
    check(wait_->number, budgetMs, expectedCount);
}

void SimpleSerial::check(std::uint64_t wait, std::int32_t budgetMs, std::int32_t expectedCount) {
    if (!wait_ || wait_->number != wait) {
        return;  // ended already, when its reply was complete
    }
    const std::uint64_t received = portDelegate->dataLength();
    // The count is widened with its sign: a negative one is never reached.
    const auto expected = static_cast<std::uint64_t>(static_cast<std::int64_t>(expectedCount));
    if (budgetMs > 0 && received < expected) {
        timers.schedule(kPollInterval, [this, wait, budgetMs, expectedCount] {
            check(wait, budgetMs - kBudgetStepMs, expectedCount);
        });
        return;
    }
    finishWait();
}

void SimpleSerial::dataArrived() {
    ++arrivals_;
    if (mode_ != TransferMode::fast || !wait_ || wait_->fastEnd.length == 0 ||
        portDelegate->dataLength() < wait_->fastEnd.length) {
        return;
    }
    // Judged from the run loop, not from within the port's callback: the completion may destroy
    // this link and its port. With a quiet gap, only if no byte came meanwhile.
    timers.schedule(wait_->fastEnd.quietGap, [this, wait = wait_->number, arrivals = arrivals_] {
        if (wait_ && wait_->number == wait && arrivals_ == arrivals) {
            finishWait();
        }
    });
}

void SimpleSerial::abandonWait() {
    timers.cancelAll();
    wait_.reset();
}

void SimpleSerial::finishWait() {
    ResponseBlock completion = std::move(wait_->completion);
    wait_.reset();
    // The completion gets a copy: it may start the next exchange, which empties the buffer, or
    // destroy this link.
    const Bytes reply(portDelegate->data(), portDelegate->data() + portDelegate->dataLength());
    completion(!reply.empty(), reply);
}

bool SimpleSerial::send(ByteView bytes) {
    // Every attempt is logged, then why it went nowhere.
    logLine("Writing " + describeBytes(bytes));
    // A port that has reported its close takes nothing more; the exchange ends at its budget.
    if (!portDelegate->isOpened()) {
        logLine("Not sent to " + portPath_ + ", which has closed");
        return false;
    }
    return serialPort->sendData(bytes);
}

}  // namespace korvane
