#include "command_line.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace {
constexpr size_t HelpWidth = 79;
// Option names longer than this put their help on the next line.
constexpr size_t MaxOptionColumn = 24;

const TCommandOption HelpOption{"--help", "-h", "", "show this help and exit"};

const TCommandOption* FindOption(const TCommandHelp& help, const std::string& name) {
    if (name == HelpOption.Long || name == HelpOption.Short) return &HelpOption;
    for (const TCommandOption& o : help.Options)
        if (name == o.Long || (!o.Short.empty() && name == o.Short)) return &o;
    return nullptr;
}

std::string OptionTitle(const TCommandOption& o) {
    std::string title = o.Short.empty() ? "    " : o.Short + ", ";
    title += o.Long;
    if (!o.Value.empty()) title += " " + o.Value;
    return title;
}
}  // namespace

bool TParsedArgs::Has(const std::string& option) const {
    return std::any_of(Options.begin(), Options.end(), [&](const auto& o) { return o.first == option; });
}

std::string TParsedArgs::Value(const std::string& option) const {
    for (auto it = Options.rbegin(); it != Options.rend(); ++it)
        if (it->first == option) return it->second;
    return {};
}

std::optional<int> ParseCommandLine(const TCommandHelp& help, const std::vector<std::string>& args, TParsedArgs& out) {
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!options || arg.size() < 2 || arg[0] != '-') {
            out.Operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options = false;
            continue;
        }
        const size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        const TCommandOption* option = FindOption(help, name);
        if (!option) return UsageError(help.Program, "unknown option '" + name + "'");
        if (option == &HelpOption) {
            std::fputs(HelpText(help).c_str(), stdout);
            return 0;
        }
        std::string value;
        if (option->Value.empty()) {
            if (equals != std::string::npos) return UsageError(help.Program, option->Long + " takes no value");
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return UsageError(help.Program, option->Long + " needs " + option->Value);
        }
        // An empty value would silently mean "not given" further on.
        if (!option->Value.empty() && value.empty())
            return UsageError(help.Program, option->Long + " needs " + option->Value + ", not an empty text");
        out.Options.emplace_back(option->Long, value);
    }
    return std::nullopt;
}

std::string WrapText(const std::string& text, size_t width, size_t indent) {
    std::istringstream words(text);
    std::string word, result, line;
    while (words >> word) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            result += line + "\n" + std::string(indent, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return result + line;
}

std::string HelpText(const TCommandHelp& help) {
    std::string text = "Usage: " + help.Program + (help.Synopsis.empty() ? "" : " " + help.Synopsis) + "\n";
    // Paragraphs: wrapped, unless written with their own layout.
    size_t start = 0;
    while (start < help.Description.size()) {
        size_t end = help.Description.find("\n\n", start);
        if (end == std::string::npos) end = help.Description.size();
        const std::string paragraph = help.Description.substr(start, end - start);
        const bool laidOut = paragraph.find('\n') != std::string::npos;
        text += "\n" + (laidOut ? paragraph : WrapText(paragraph, HelpWidth, 0)) + "\n";
        start = end + 2;
    }

    std::vector<const TCommandOption*> options;
    for (const TCommandOption& o : help.Options) options.push_back(&o);
    options.push_back(&HelpOption);
    size_t column = 0;
    for (const TCommandOption* o : options) {
        const size_t width = OptionTitle(*o).size();
        if (width <= MaxOptionColumn) column = std::max(column, width);
    }
    text += "\nOptions:\n";
    for (const TCommandOption* o : options) {
        const std::string title = OptionTitle(*o);
        const size_t helpColumn = 2 + column + 2;
        std::string line = "  " + title;
        if (title.size() > column) {
            line += "\n" + std::string(helpColumn, ' ');
        } else {
            line += std::string(column - title.size() + 2, ' ');
        }
        text += line + WrapText(o->Help, HelpWidth - helpColumn, helpColumn) + "\n";
    }

    if (!help.ExitStatuses.empty()) {
        text += "\nExit status:\n";
        for (const auto& [status, meaning] : help.ExitStatuses)
            text += "  " + std::to_string(status) + "  " + WrapText(meaning, HelpWidth - 5, 5) + "\n";
    }
    return text;
}

int UsageError(const std::string& program, const std::string& message) {
    std::fprintf(stderr, "%s: %s (see '%s --help')\n", program.c_str(), message.c_str(), program.c_str());
    return ExitUsage;
}
