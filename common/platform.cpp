// The platform index of the processor Setup runs on: it chooses the medium's
// program tree and its system files.
#include "common/setup.h"

WORD platform_from_arch(WORD arch)
{
    switch (arch) {
    case PROCESSOR_ARCHITECTURE_MIPS:
        return 2;
    case PROCESSOR_ARCHITECTURE_ALPHA:
        return 3;
    case PROCESSOR_ARCHITECTURE_PPC:
        return 4;
    default:
        // Intel and anything unknown; index 1 is never chosen here.
        return 0;
    }
}
