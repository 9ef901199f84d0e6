// vsfc: compiles scenario script sources into compiled scripts (.vsf).
//   vsfc SOURCE [-o OUTPUT]     one source; OUTPUT defaults to SOURCE with the extension .vsf
//   vsfc SOURCE...              several sources, each compiled beside itself
// Every mistake is printed as "file:line: message"; a source with a mistake writes no file and
// makes the exit status 1.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/lib/script_compiler.h"

namespace {

std::string DefaultOutput(const std::string& source) {
    size_t slash = source.find_last_of('/');
    size_t dot = source.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return source + ".vsf";
    return source.substr(0, dot) + ".vsf";
}

int PrintUsage() {
    std::fprintf(stderr, "usage: vsfc SOURCE [-o OUTPUT]\n       vsfc SOURCE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> sources;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0) {
            if (i + 1 >= argc || !output.empty()) return PrintUsage();
            output = argv[++i];
        } else if (argv[i][0] == '-') {
            return PrintUsage();
        } else {
            sources.push_back(argv[i]);
        }
    }
    if (sources.empty() || (!output.empty() && sources.size() != 1)) return PrintUsage();

    int status = 0;
    for (const std::string& source : sources) {
        std::vector<std::string> errors;
        if (!CompileScriptFile(source, output.empty() ? DefaultOutput(source) : output, &errors)) {
            for (const std::string& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
            status = 1;
        }
    }
    return status;
}
