#include "app/cli/PrefixedOutput.h"

namespace korvane {

PrefixedOutput::PrefixedOutput(std::ostream& target, std::string prefix)
    : std::ostream(static_cast<std::streambuf*>(this)),
      target_(target),
      prefix_(std::move(prefix)) {}

PrefixedOutput::~PrefixedOutput() {
    // A line without its end is still shown.
    if (!line_.empty()) {
        overflow('\n');
    }
}

int PrefixedOutput::overflow(int character) {
    if (character == std::streambuf::traits_type::eof()) {
        return std::streambuf::traits_type::not_eof(character);
    }
    const char c = std::streambuf::traits_type::to_char_type(character);
    // A progress bar redraws its line: on a shared terminal it becomes a line of its own.
    if (c != '\n' && c != '\r') {
        line_ += c;
    } else if (!line_.empty()) {
        target_ << prefix_ << line_ << '\n' << std::flush;
        line_.clear();
    }
    return character;
}

}  // namespace korvane
