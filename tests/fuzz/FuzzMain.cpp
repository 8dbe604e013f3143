// The libFuzzer entry point of one target, chosen when it is built.
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PURGELET_FUZZ_FUNCTION(data, size);
    return 0;
}
