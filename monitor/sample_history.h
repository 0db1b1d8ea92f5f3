// The recorded samples of one monitored value, oldest first: times in
// milliseconds that never go back, at most kSpanMs behind the newest sample
// and at most a fixed count, the oldest dropped first. A ring, so once full
// an append neither allocates nor moves the samples kept. It reads nothing
// and does not know what the value means.
#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

namespace kt::monitor {

class SampleHistory {
public:
    struct Sample {
        qint64 msecs;
        double value;
    };
    struct Extent {
        double min;
        double max;
    };
    static constexpr qint64 kSpanMs = 10 * 60 * 1000;
    // Ten minutes at 200 reads a second, with room to spare.
    static constexpr int kDefaultCapacity = 131072;

    // A capacity below 1 is taken as 1.
    explicit SampleHistory(int capacity = kDefaultCapacity);

    // Keeps the sample and drops what falls out of the bounds. A time before
    // the last sample's, or a value that is not finite, is refused (false,
    // nothing changes): a reading that arrives late must not reorder the
    // history. An equal time is kept, after the sample already there.
    bool Append(qint64 msecs, double value);
    // Drops every sample; the memory is kept for the next recording.
    void Clear();

    int Size() const { return m_count; }
    bool Empty() const { return m_count == 0; }
    int Capacity() const { return m_capacity; }
    // 0 is the oldest.
    const Sample& At(int i) const {
        Q_ASSERT(i >= 0 && i < m_count);
        int slot = m_start + i;
        if (slot >= static_cast<int>(m_ring.size()))
            slot -= static_cast<int>(m_ring.size());
        return m_ring[static_cast<size_t>(slot)];
    }
    // 0 when empty.
    qint64 FirstMsecs() const { return m_count == 0 ? 0 : At(0).msecs; }
    qint64 LastMsecs() const { return m_count == 0 ? 0 : At(m_count - 1).msecs; }

    // The last sample at or before msecs, -1 when every sample is later.
    int IndexAtOrBefore(qint64 msecs) const;
    // The smallest and largest value of the samples in [from, to], none
    // when there are none.
    std::optional<Extent> MinMax(qint64 from, qint64 to) const;

private:
    void Grow();
    void DropOldest();
    // The first sample at or after msecs, or strictly after it; Size() when
    // there is none.
    int FirstIndex(qint64 msecs, bool after) const;

    std::vector<Sample> m_ring;
    int m_capacity;
    int m_start = 0;
    int m_count = 0;
};

} // namespace kt::monitor
