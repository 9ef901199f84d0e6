// The sample game's .lmf models, as Image.pac entries where the model loader finds them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// (path, file bytes) of each model.
std::vector<std::pair<std::string, std::vector<uint8_t>>> SampleModelFiles();
