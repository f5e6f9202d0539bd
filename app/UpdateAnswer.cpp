#include "app/UpdateAnswer.h"

#include <cctype>
#include <string>

namespace korvane {

bool answersUpdate(std::string_view typed) {
    std::string word;
    for (const char c : typed) {
        if (std::isspace(static_cast<unsigned char>(c)) == 0) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return word == "update" || word == "u" || word == "yes" || word == "y";
}

}  // namespace korvane
