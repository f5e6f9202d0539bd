#include "platform/web/BrowserLog.h"

extern "C" void korvane_log(const char* text, std::size_t size);

namespace korvane {

void BrowserLog::write(std::string_view text) {
    korvane_log(text.data(), text.size());
}

}  // namespace korvane
