#include "tools/make_sample_game/models.h"

#include "tools/lib/lmf_writer.h"
#include "tools/lib/sample_models.h"

std::vector<std::pair<std::string, std::vector<uint8_t>>> SampleModelFiles() {
    return {{"Image/Model/Character.lmf", BuildLmf(MakeSampleCharacter())},
            {"Image/Model/Column.lmf", BuildLmf(MakeDenseModel())},
            {"Image/Model/Swatches.lmf", BuildLmf(MakeSwatchModel())}};
}
