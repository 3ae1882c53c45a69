// orvane-config: turns the plain product configuration into the scrambled
// "lamecore.dll" the application reads, and back.
#include "product_config.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {
int Usage() {
    std::fprintf(stderr,
                 "Usage: orvane-config scramble IN.ini OUT\n"
                 "       orvane-config descramble IN OUT\n"
                 "Every byte b of a line is stored as 255 - b; line breaks stay plain.\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "scramble") != 0 && std::strcmp(argv[1], "descramble") != 0))
        return Usage();
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "orvane-config: cannot open %s\n", argv[2]);
        return 1;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    const std::string input = buf.str();
    // Bytes F2 and F5 would be stored as line breaks and could not be read back.
    if (std::strcmp(argv[1], "scramble") == 0 && input.find_first_of("\xF2\xF5") != std::string::npos) {
        std::fprintf(stderr, "orvane-config: %s holds a byte (F2 or F5 hex) the scrambled format cannot store\n",
                     argv[2]);
        return 1;
    }
    const std::string text = ScrambleText(input);  // the mapping is its own inverse
    const std::string out = argv[3];
    const std::string temp = out + ".tmp";
    {
        std::ofstream o(temp, std::ios::binary | std::ios::trunc);
        o.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!o.flush()) {
            std::fprintf(stderr, "orvane-config: cannot write %s\n", out.c_str());
            std::remove(temp.c_str());
            return 1;
        }
    }
    if (std::rename(temp.c_str(), out.c_str()) != 0) {
        std::fprintf(stderr, "orvane-config: cannot write %s\n", out.c_str());
        std::remove(temp.c_str());
        return 1;
    }
    return 0;
}
