// The command-line splitter: arguments (the input cut at zero bytes) quoted
// one by one and joined by blanks split back into the same arguments; and
// whatever any text splits into, quoted and joined again, splits the same.
#include "fuzz/FuzzSupport.h"
#include "platform/process.h"

namespace {

std::string Join(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& a : args) {
        if (!line.empty())
            line += ' ';
        line += platform::QuoteArgument(a);
    }
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz_support::Text(data, size);

    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t nul = text.find('\0'); nul != std::string::npos;
         nul = text.find('\0', start)) {
        args.push_back(text.substr(start, nul - start));
        start = nul + 1;
    }
    args.push_back(text.substr(start));
    FUZZ_CHECK(platform::SplitCommandLine(Join(args)) == args);

    const std::vector<std::string> split = platform::SplitCommandLine(text);
    FUZZ_CHECK(platform::SplitCommandLine(Join(split)) == split);
    // The launcher puts the program's quoted path before the parameters.
    if (!split.empty()) {
        std::vector<std::string> withProgram{split.front()};
        withProgram.insert(withProgram.end(), split.begin(), split.end());
        FUZZ_CHECK(platform::SplitCommandLine(platform::QuoteArgument(split.front()) + " " +
                                              text) == withProgram);
    }
    return 0;
}
