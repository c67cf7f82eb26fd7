#include <windows.h>

#include <sys/types.h>

static_assert(sizeof(off_t) >= 8, "build with 64-bit file offsets");

int _fseeki64(std::FILE* file, LONGLONG offset, int origin)
{
    return fseeko(file, offset, origin);
}

LONGLONG _ftelli64(std::FILE* file)
{
    return ftello(file);
}
