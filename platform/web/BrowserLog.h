#pragma once

#include "platform/Log.h"

namespace korvane {

// The log in the browser: each line with its time on the console, and to the page's Log panel.
class BrowserLog final : public LogSink {
public:
    void write(std::string_view text) override;
};

}  // namespace korvane
