#include "app/fontwarmup.h"

#include <fontconfig/fontconfig.h>

namespace {

std::string preferredFamily(const char *name)
{
    std::string family;
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(name));
    if (!pattern)
        return family;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern *match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8 *value = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &value) == FcResultMatch && value)
            family = reinterpret_cast<const char *>(value);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return family;
}

void warmUp(std::string *japaneseFamily)
{
    if (!FcInit())
        return;
    *japaneseFamily = preferredFamily("sans-serif:lang=ja");
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
    : m_thread(warmUp, &m_japaneseFamily)
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
