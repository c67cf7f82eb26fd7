#include "scoped_waits.h"

scoped_waits::scoped_waits(const std::function<void(wait_lengths&)>& change)
    : m_before(wait_lengths::current())
    , m_lengths(m_before)
{
    change(m_lengths);
    wait_lengths::set(m_lengths);
}

scoped_waits::~scoped_waits()
{
    wait_lengths::set(m_before);
}
