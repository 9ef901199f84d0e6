// Compiles scenario script sources (UTF-8 text, one command per line; the language is described
// in docs/script-language.md) into the program's compiled scripts: the magic "VSF3", an MSTP
// header chunk, one PAGE chunk per page with its command chunks, and "EOF ".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Compiles `source`. On success fills `output` and returns true. On failure returns false and
// leaves `output` empty; `errors` receives one "file:line: message" text per mistake found.
bool CompileScript(std::string_view source, const std::string& fileName, std::vector<uint8_t>* output,
                   std::vector<std::string>* errors);

// Reads the source file and writes the compiled script to `outputPath`. Nothing is written
// when the source has a mistake or cannot be read; the messages go to `errors`.
bool CompileScriptFile(const std::string& sourcePath, const std::string& outputPath, std::vector<std::string>* errors);
