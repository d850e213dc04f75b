#include "SdlLibrary.h"

#include "PlatformLog.h"

namespace belvane {

std::unique_ptr<SdlLibrary> SdlLibrary::load(const char *fileName)
{
    return BELVANE_LOAD_FUNCTIONS(SdlLibrary, BELVANE_SDL_FUNCTIONS, fileName);
}

} // namespace belvane
