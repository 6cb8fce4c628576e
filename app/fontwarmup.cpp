#include "app/fontwarmup.h"

#include <fontconfig/fontconfig.h>

namespace {

void warmUp()
{
    if (!FcInit())
        return;
    // Listing every font, as Qt's font database does when it fills itself, brings the cache
    // files' pages in.
    FcPattern *pattern = FcPatternCreate();
    FcObjectSet *objects = FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_LANG, FC_CHARSET,
                                            static_cast<char *>(nullptr));
    if (pattern && objects) {
        if (FcFontSet *fonts = FcFontList(nullptr, pattern, objects))
            FcFontSetDestroy(fonts);
    }
    if (objects)
        FcObjectSetDestroy(objects);
    if (pattern)
        FcPatternDestroy(pattern);
}

} // namespace

FontConfigWarmUp::FontConfigWarmUp()
    : m_thread(warmUp)
{
}

FontConfigWarmUp::~FontConfigWarmUp()
{
    wait();
}

void FontConfigWarmUp::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}
