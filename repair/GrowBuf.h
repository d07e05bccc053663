// The growable byte buffer of the page repair: a heap block that grows in
// fixed steps chosen by its holder, never by doubling.
#pragma once

#include <cstdint>
#include <cstdlib>

// A buffer starts with all three fields zero; its holder frees data with
// free() when done (GrowBufOwner does that on scope exit). After an append
// of at least one byte, used < capacity, so the holder may terminate the
// stored text by writing a zero byte at data[used] (not counted in used).
// An append of zero bytes allocates nothing: data stays null until the
// first byte arrives.
struct GrowBuf {
    char* data = nullptr;
    int32_t used = 0;
    int32_t capacity = 0;
};

// Appends len bytes from src (which must not lie inside the block). When
// used + len reaches capacity the block grows by increment, or by len + 1
// when one step is not enough. Returns 1 on success. Returns 0 when the
// block cannot grow (out of memory, or more than a signed 32-bit size, or a
// negative len): the block is then freed and data set to null; the buffer
// is lost and must not be appended to again.
int GrowBufAppend(char** data, int32_t* used, const void* src, int32_t len, int32_t* capacity,
                  int32_t increment);

// Convenience form for a whole GrowBuf.
inline int GrowBufAppend(GrowBuf* buf, const void* src, int32_t len, int32_t increment) {
    return GrowBufAppend(&buf->data, &buf->used, src, len, &buf->capacity, increment);
}

// Owns a GrowBuf and frees its block on scope exit.
class GrowBufOwner {
  public:
    GrowBufOwner() = default;
    ~GrowBufOwner() { std::free(buf.data); }
    GrowBufOwner(const GrowBufOwner&) = delete;
    GrowBufOwner& operator=(const GrowBufOwner&) = delete;

    // Frees the block and empties the buffer.
    void Reset() {
        std::free(buf.data);
        buf = GrowBuf();
    }

    GrowBuf buf;
};

// Frees a block from malloc/realloc: for std::unique_ptr.
struct MallocDeleter {
    void operator()(void* p) const { std::free(p); }
};
