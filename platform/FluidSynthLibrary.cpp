#include "FluidSynthLibrary.h"

#include "PlatformLog.h"

#include <dlfcn.h>

namespace belvane {

std::unique_ptr<FluidSynthLibrary> FluidSynthLibrary::load(const char *file)
{
    void *handle = openLibrary(file);
    if (handle == nullptr) {
        return nullptr;
    }
    auto library = std::make_unique<FluidSynthLibrary>();
    bool complete = true;
#define BELVANE_FLUIDSYNTH_RESOLVE(name)                                                                     \
    library->name = reinterpret_cast<decltype(&::name)>(findSymbol(handle, file, #name));                    \
    complete = complete && library->name != nullptr;
    BELVANE_FLUIDSYNTH_FUNCTIONS(BELVANE_FLUIDSYNTH_RESOLVE)
#undef BELVANE_FLUIDSYNTH_RESOLVE
    if (!complete) {
        ::dlclose(handle);
        return nullptr;
    }
    return library;
}

} // namespace belvane
