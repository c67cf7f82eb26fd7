#pragma once
// Wait lengths of one test: set for the test's life, the earlier ones back after it.
//
//     scoped_waits waits([](wait_lengths& lengths) { lengths.volume_wait = 1s; });

#include "base/wait_lengths.h"

#include <functional>

class scoped_waits {
public:
    explicit scoped_waits(const std::function<void(wait_lengths&)>& change);
    ~scoped_waits();
    scoped_waits(const scoped_waits&) = delete;
    scoped_waits& operator=(const scoped_waits&) = delete;

    // The lengths in force while this lives.
    const wait_lengths& lengths() const { return m_lengths; }

private:
    wait_lengths m_before;
    wait_lengths m_lengths;
};
