// Finding the device: every port is opened, given a second to report that it did, and asked the
// identify question.
#include "platform/Log.h"
#include "serial/Attributes.h"
#include "serial/SimpleSerial.h"
#include "util/StringPrintf.h"

namespace korvane {

void SimpleSerial::open(ResultBlock completion) {
    // The constructor asked already; a second request is harmless.
    serialPort->open();
    portDelegate->setDelegate(this);
    timers.schedule(kOpenCheckDelay, [this, completion = std::move(completion)] {
        logLine(stringPrintf("Device %s %s\r\n", portPath_.c_str(),
                             portDelegate->isOpened() ? "Opened" : "Not opened"));
        if (portDelegate->isOpened()) {
            logLine("Device info. Name: " + serialPort->name() + ", Path: " + serialPort->path() +
                    ", Dict: " + describeAttributes(ioDeviceAttributes(*serialPort)) +
                    ", VendorId: " + describeNumber(vendorID(*serialPort)) +
                    ", ProductId: " + describeNumber(productID(*serialPort)));
        }
        completion(portDelegate->isOpened());
    });
}

void SimpleSerial::probe(ResultBlock completion) {
    open([this, completion = std::move(completion)](bool opened) {
        if (!opened) {
            completion(false);
            return;
        }
        identify([this, completion](bool identified) {
            deviceReady = identified;
            completion(identified);
        });
    });
}

}  // namespace korvane
