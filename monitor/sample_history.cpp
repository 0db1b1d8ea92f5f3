#include "monitor/sample_history.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kt::monitor {

namespace {
// The ring starts small and doubles, so a short recording of many values
// does not take the full capacity of each.
constexpr int kFirstRingSize = 1024;
} // namespace

SampleHistory::SampleHistory(int capacity) : m_capacity(std::max(capacity, 1)) {}

bool SampleHistory::Append(qint64 msecs, double value) {
    if (!std::isfinite(value) || (m_count > 0 && msecs < LastMsecs()))
        return false;
    if (m_count == static_cast<int>(m_ring.size())) {
        if (m_count < m_capacity)
            Grow();
        else
            DropOldest();
    }
    int slot = m_start + m_count;
    if (slot >= static_cast<int>(m_ring.size()))
        slot -= static_cast<int>(m_ring.size());
    m_ring[static_cast<size_t>(slot)] = Sample{msecs, value};
    ++m_count;
    // Written so that no time, however far from zero, overflows.
    const qint64 oldest = msecs < std::numeric_limits<qint64>::min() + kSpanMs
                              ? std::numeric_limits<qint64>::min()
                              : msecs - kSpanMs;
    while (At(0).msecs < oldest)
        DropOldest();
    return true;
}

void SampleHistory::Clear() {
    m_start = 0;
    m_count = 0;
}

void SampleHistory::Grow() {
    const int size = std::min(std::max(2 * m_count, kFirstRingSize), m_capacity);
    std::vector<Sample> ring;
    ring.reserve(static_cast<size_t>(size));
    for (int i = 0; i < m_count; ++i)
        ring.push_back(At(i));
    ring.resize(static_cast<size_t>(size));
    m_ring = std::move(ring);
    m_start = 0;
}

void SampleHistory::DropOldest() {
    ++m_start;
    if (m_start == static_cast<int>(m_ring.size()))
        m_start = 0;
    --m_count;
}

int SampleHistory::FirstIndex(qint64 msecs, bool after) const {
    int low = 0;
    int high = m_count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const qint64 at = At(middle).msecs;
        if (at < msecs || (after && at == msecs))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

int SampleHistory::IndexAtOrBefore(qint64 msecs) const {
    return FirstIndex(msecs, true) - 1;
}

std::optional<SampleHistory::Extent> SampleHistory::MinMax(qint64 from, qint64 to) const {
    if (from > to)
        return std::nullopt;
    int i = FirstIndex(from, false);
    if (i >= m_count || At(i).msecs > to)
        return std::nullopt;
    Extent extent{At(i).value, At(i).value};
    for (; i < m_count && At(i).msecs <= to; ++i) {
        extent.min = std::min(extent.min, At(i).value);
        extent.max = std::max(extent.max, At(i).value);
    }
    return extent;
}

} // namespace kt::monitor
