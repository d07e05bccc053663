// GrowBufAppend: the one operation of the growable byte buffer.
#include "repair/GrowBuf.h"

#include <cstring>

int GrowBufAppend(char** data, int32_t* used, const void* src, int32_t len, int32_t* capacity,
                  int32_t increment) {
    if (len == 0)
        return 1;
    // Sums are taken in 64 bits so that a page near 2 GiB fails cleanly
    // instead of wrapping the 32-bit sizes.
    const int64_t need = static_cast<int64_t>(*used) + len;
    if (len < 0 || need > INT32_MAX) {
        std::free(*data);
        *data = nullptr;
        return 0;
    }
    if (need >= *capacity) {
        const int64_t step =
            static_cast<int64_t>(*capacity) + increment > need ? increment : int64_t(len) + 1;
        const int64_t grown = *capacity + step;
        void* block =
            grown <= INT32_MAX ? std::realloc(*data, static_cast<size_t>(grown)) : nullptr;
        if (!block) {
            std::free(*data);
            *data = nullptr;
            *capacity = static_cast<int32_t>(grown > INT32_MAX ? INT32_MAX : grown);
            return 0;
        }
        *data = static_cast<char*>(block);
        *capacity = static_cast<int32_t>(grown);
    }
    std::memcpy(*data + *used, src, static_cast<size_t>(len));
    *used += len;
    return 1;
}
