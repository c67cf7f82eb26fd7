#pragma once
// Memory for unbuffered disk transfers, which Windows wants aligned to the disk's sectors: a
// page covers every sector size in use.

#include <cstddef>
#include <memory>
#include <new>

class aligned_buffer {
public:
    static constexpr std::size_t alignment = 4096;

    explicit aligned_buffer(std::size_t size)
        : m_memory(static_cast<char*>(::operator new(size, std::align_val_t(alignment))))
        , m_size(size)
    {
    }

    char* data() const { return m_memory.get(); }
    std::size_t size() const { return m_size; }

private:
    struct release {
        void operator()(char* memory) const { ::operator delete(memory, std::align_val_t(alignment)); }
    };

    std::unique_ptr<char, release> m_memory;
    std::size_t m_size;
};
