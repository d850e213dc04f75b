#include "SdlLibrary.h"

#include "PlatformLog.h"

#include <dlfcn.h>

namespace belvane {

std::unique_ptr<SdlLibrary> SdlLibrary::load(const char *fileName)
{
    void *handle = openLibrary(fileName);
    if (handle == nullptr) {
        return nullptr;
    }
    auto library = std::make_unique<SdlLibrary>();
    bool complete = true;
#define BELVANE_SDL_RESOLVE(name)                                                                            \
    library->name = reinterpret_cast<decltype(&::name)>(findSymbol(handle, fileName, #name));                \
    complete = complete && library->name != nullptr;
    BELVANE_SDL_FUNCTIONS(BELVANE_SDL_RESOLVE)
#undef BELVANE_SDL_RESOLVE
    if (!complete) {
        ::dlclose(handle);
        return nullptr;
    }
    return library;
}

} // namespace belvane
