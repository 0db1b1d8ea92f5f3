#include "monitor/sample_history.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kt::monitor {

namespace {

constexpr int kFirstRingSize = 1024;

// Floor division, so a slot never straddles zero.
qint64 SlotOf(qint64 msecs) {
    const qint64 slot = msecs / SampleHistory::kBucketMs;
    return msecs % SampleHistory::kBucketMs < 0 ? slot - 1 : slot;
}

} // namespace

template <typename T> void SampleHistory::Ring<T>::Push(const T& item, int limit) {
    Q_ASSERT(count < limit);
    if (count == static_cast<int>(cells.size())) {
        const int size = std::min(std::max(2 * count, kFirstRingSize), limit);
        std::vector<T> grown;
        grown.reserve(static_cast<size_t>(size));
        for (int i = 0; i < count; ++i)
            grown.push_back(At(i));
        grown.resize(static_cast<size_t>(size));
        cells = std::move(grown);
        start = 0;
    }
    cells[Slot(count)] = item;
    ++count;
}

template <typename T> T SampleHistory::Ring<T>::PopFront() {
    const T item = At(0);
    ++start;
    if (start == static_cast<int>(cells.size()))
        start = 0;
    --count;
    return item;
}

SampleHistory::SampleHistory(int rawCapacity) : m_rawCapacity(std::max(rawCapacity, 1)) {}

bool SampleHistory::Append(qint64 msecs, double value) {
    if (!std::isfinite(value) || (!Empty() && msecs < LastMsecs()))
        return false;
    if (m_breakPending)
        m_breaks.push_back(msecs);
    m_breakPending = false;
    if (m_raw.count == m_rawCapacity)
        Fold(m_raw.PopFront());
    m_raw.Push(Raw{msecs, value}, m_rawCapacity);
    ++m_samples;
    ++m_appended;
    // Written so that no time, however far from zero, overflows.
    const qint64 oldest = msecs < std::numeric_limits<qint64>::min() + kSpanMs
                              ? std::numeric_limits<qint64>::min()
                              : msecs - kSpanMs;
    while (m_buckets.count > 0 && m_buckets.At(0).msecs < oldest)
        DropBucket();
    while (m_raw.At(0).msecs < oldest) {
        m_raw.PopFront();
        --m_samples;
    }
    // A break at or before the oldest entry kept has nothing before it.
    const auto kept = std::upper_bound(m_breaks.begin(), m_breaks.end(), FirstMsecs());
    m_breaks.erase(m_breaks.begin(), kept);
    return true;
}

void SampleHistory::Fold(const Raw& raw) {
    if (m_buckets.count > 0 && SlotOf(m_buckets.Back().msecs) == SlotOf(raw.msecs)) {
        Bucket& bucket = m_buckets.Back();
        bucket.msecs = raw.msecs;
        bucket.value = raw.value;
        bucket.min = std::min(bucket.min, raw.value);
        bucket.max = std::max(bucket.max, raw.value);
        if (bucket.count++ == 1)
            ++m_reducedBuckets;
        return;
    }
    // Never so within ten minutes; a guard for the bound all the same.
    if (m_buckets.count == kMaxBuckets)
        DropBucket();
    m_buckets.Push(Bucket{raw.msecs, raw.value, raw.value, raw.value, 1}, kMaxBuckets);
}

void SampleHistory::DropBucket() {
    const Bucket bucket = m_buckets.PopFront();
    m_samples -= bucket.count;
    if (bucket.count > 1)
        --m_reducedBuckets;
}

void SampleHistory::Clear() {
    m_raw.start = m_raw.count = 0;
    m_buckets.start = m_buckets.count = 0;
    m_samples = m_appended = 0;
    m_reducedBuckets = 0;
    m_breaks.clear();
    m_breakPending = false;
}

qint64 SampleHistory::FullFromMsecs() const {
    if (Reduced())
        return m_raw.At(0).msecs;
    return FirstMsecs();
}

qint64 SampleHistory::MemoryBytes() const {
    return static_cast<qint64>(m_raw.cells.capacity() * sizeof(Raw) +
                               m_buckets.cells.capacity() * sizeof(Bucket));
}

qint64 SampleHistory::SlotStart(qint64 msecs) {
    return SlotOf(msecs) * kBucketMs;
}

int SampleHistory::FirstIndex(qint64 msecs, bool after) const {
    int low = 0;
    int high = Size();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const qint64 at = MsecsAt(middle);
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

int SampleHistory::IndexAt(qint64 msecs) const {
    const int before = IndexAtOrBefore(msecs);
    const int next = before + 1;
    if (next < m_buckets.count && m_buckets.At(next).count > 1 &&
        SlotOf(m_buckets.At(next).msecs) == SlotOf(msecs))
        return next;
    return before;
}

std::optional<SampleHistory::Extent> SampleHistory::MinMax(qint64 from, qint64 to) const {
    if (from > to)
        return std::nullopt;
    int i = FirstIndex(from, false);
    if (i >= Size() || MsecsAt(i) > to)
        return std::nullopt;
    Extent extent{At(i).min, At(i).max};
    ForEach(i, FirstIndex(to, true) - 1, [&](const Sample& entry) {
        extent.min = std::min(extent.min, entry.min);
        extent.max = std::max(extent.max, entry.max);
    });
    return extent;
}

} // namespace kt::monitor
