#include "FluidSynthLibrary.h"

#include "PlatformLog.h"

namespace belvane {

std::unique_ptr<FluidSynthLibrary> FluidSynthLibrary::load(const char *file)
{
    return BELVANE_LOAD_FUNCTIONS(FluidSynthLibrary, BELVANE_FLUIDSYNTH_FUNCTIONS, file);
}

} // namespace belvane
