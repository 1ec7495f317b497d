// A second copy of the program, as far as the single-instance lock goes: reports what its start-up
// found, then holds the lock until its standard input closes.
#include "brevicam/core/InstanceMutex.h"

#include <cstdio>
#include <unistd.h>

int main()
{
    std::printf("%lu %d\n", static_cast<unsigned long>(g_dwInstanceMutexError), g_hInstanceMutex ? 1 : 0);
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0)
    {
    }
    return 0;
}
