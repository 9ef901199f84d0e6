// The page interpreter on arbitrary script bytes: every command payload is read within its
// chunk, nothing loops without consuming bytes, and the engine runs its frames afterwards.
#include <cstdint>

#include "fuzz/engine_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CFuzzEngineHost host;
    const std::string script = host.WriteFile("f.vsf", data, size);
    if (script.empty()) return 0;
    CVantEngine* engine = host.Restart();
    int32_t result = engine->Load(script.c_str());
    for (int page = 0; page < 32 && result != 1 && engine->scriptName[0] != '\0'; ++page) {
        host.Frame();
        result = engine->RunPage();
    }
    host.Frame();
    return 0;
}
