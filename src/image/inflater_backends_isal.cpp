// The backends of a build with ISA-L: it first, zlib beside it.

#include "image/inflater.h"

std::vector<inflater::backend> inflater::compiled()
{
    return {backend::isal, backend::zlib};
}

std::unique_ptr<inflater> inflater::make(backend which)
{
    return which == backend::isal ? make_isal_inflater() : make_zlib_inflater();
}
