#pragma once
// Command-line conventions shared by 'orvane' and 'orvane-video-joiner': each
// command describes its options once, in a table beside the code that reads
// them; the parser and the --help text both come from that table, so a new
// option is one more entry.
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Exit status of a program used wrongly (unknown option, missing value).
inline constexpr int ExitUsage = 2;

struct TCommandOption {
    std::string Long;   // "--format"
    std::string Short;  // "-f", or empty
    std::string Value;  // name of its value in the help ("FORMAT"); empty for a flag
    std::string Help;   // what it does; wrapped by the help text
};

struct TCommandHelp {
    std::string Program;      // "orvane join", "orvane-video-joiner"
    std::string Synopsis;     // what follows the program on the usage line: "[OPTIONS] FILE..."
    std::string Description;  // paragraphs parted by an empty line, wrapped; one of several lines is kept as written
    std::vector<TCommandOption> Options;                    // -h/--help is added to every command
    std::vector<std::pair<int, std::string>> ExitStatuses;  // status and its meaning
};

struct TParsedArgs {
    // The options given, in order, by their long name, with their values
    // ("" for a flag): a later one overrides an earlier one where that matters.
    std::vector<std::pair<std::string, std::string>> Options;
    std::vector<std::string> Operands;

    bool Has(const std::string& option) const;
    // The value of the last occurrence of the option; empty when not given.
    std::string Value(const std::string& option) const;
};

// Reads args (without the program name) by the help's options: "--name
// VALUE", "--name=VALUE", "-n VALUE", "--" ends the options and a lone "-" is
// an operand. Returns nothing when the command should run; otherwise the exit
// status after -h/--help printed the help (0) or wrong use printed one line
// (ExitUsage).
std::optional<int> ParseCommandLine(const TCommandHelp& help, const std::vector<std::string>& args, TParsedArgs& out);

// The --help text: usage line, description, options, exit statuses.
std::string HelpText(const TCommandHelp& help);

// "PROGRAM: MESSAGE (see 'PROGRAM --help')" on standard error; returns ExitUsage.
int UsageError(const std::string& program, const std::string& message);

// Text wrapped into lines of at most width characters (a longer word stands
// alone), every line after the first preceded by indent spaces.
std::string WrapText(const std::string& text, size_t width, size_t indent);
