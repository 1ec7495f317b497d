#include "FuzzTargets.h"

#include <cstdio>
#include <cstdlib>

// One libFuzzer program per target; the build names the target.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fuzz::Entry entry = []
    {
        const fuzz::Entry found = fuzz::Find(BREVICAM_FUZZ_TARGET);
        if (!found)
        {
            std::fprintf(stderr, "no fuzz target named %s\n", BREVICAM_FUZZ_TARGET);
            std::abort();
        }
        return found;
    }();
    return entry(data, size);
}
