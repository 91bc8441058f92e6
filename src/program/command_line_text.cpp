#include "program/command_line_text.hpp"

#include <string_view>

namespace tracora {

std::string CommandLineText(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!line.empty())
            line += ' ';
        const bool hasBlank = arg.find(' ') != std::string_view::npos;
        const std::size_t equals = arg.find('=');
        if (!hasBlank || arg.find('"') != std::string_view::npos) {
            line += arg;
        } else if (!arg.empty() && arg.front() == '/' && equals != std::string_view::npos &&
                   equals < arg.find(' ')) {
            line.append(arg.substr(0, equals + 1)).append("\"");
            line.append(arg.substr(equals + 1)).append("\"");
        } else {
            line.append("\"").append(arg).append("\"");
        }
    }
    return line;
}

}  // namespace tracora
