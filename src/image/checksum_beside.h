#pragma once
// The MD5 of a file taken from the very bytes another use reads of it, on a thread of its own:
// a download is read once, for inflating and for its checksum both, and the inflating does not
// wait for the hashing. The reader reads into pieces handed out here in turn; a piece comes
// back once it is hashed and the reader has gone on to the next.

#include <QCryptographicHash>

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class checksum_beside {
public:
    explicit checksum_beside(std::size_t piece_size);
    // Waits for the piece being hashed.
    ~checksum_beside();
    checksum_beside(const checksum_beside&) = delete;
    checksum_beside& operator=(const checksum_beside&) = delete;

    // Memory for the next piece the reader reads, `piece_size` bytes; the piece before stays as
    // it was until this is called again.
    unsigned char* next_piece();
    // The reader read `length` bytes into the piece it was given last.
    void hash(std::size_t length);
    // The MD5, in lowercase hex, of every piece hashed: waits for the last.
    std::string result();

private:
    static constexpr std::size_t piece_count = 3;

    void m_hash_all();

    const std::size_t m_piece_size;
    std::unique_ptr<unsigned char[]> m_memory;
    std::size_t m_lengths[piece_count] = {};
    QCryptographicHash m_hash {QCryptographicHash::Md5};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Pieces handed out, handed over for hashing, and hashed.
    std::size_t m_given = 0;
    std::size_t m_handed = 0;
    std::size_t m_hashed = 0;
    bool m_ending = false;
    std::thread m_thread;
};
