// The recorded samples of one monitored value over the last ten minutes,
// oldest first, in bounded memory whatever the read rate. It reads nothing
// and does not know what the value means.
//
// Two tiers. The newest samples, up to a fixed count (kRawCapacity, ten
// minutes at 200 reads a second), are kept as they came. Older samples are
// folded into buckets, one per kBucketMs slot of time (aligned on multiples
// of kBucketMs), each holding the minimum, the maximum, the last sample's
// time and value, and how many samples it stands for: a one-sample spike
// stays the maximum of its bucket. Ten minutes touch at most kMaxBuckets
// slots, so the memory never exceeds kMaxBytes, about 3.3 MB a value,
// whether the drive is read 200 times a second or 70,000 times. Samples
// more than kSpanMs behind the newest are dropped; a bucket goes when its
// last sample does, so the oldest kept may lie up to kBucketMs - 1 further
// back.
//
// Both tiers are rings: once full an append neither allocates nor moves
// what is kept. One index runs over the buckets, then the samples kept in
// full; an entry of either kind reads as a Sample.
//
// A pause in the recording is kept as a break: the time of the first sample
// after it, so that no line is drawn across it. A few bytes a pause,
// beside the rings.
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <optional>
#include <vector>

namespace kt::monitor {

class SampleHistory {
    // What the two tiers store.
    struct Raw {
        qint64 msecs;
        double value;
    };
    struct Bucket {
        qint64 msecs;
        double value;
        double min;
        double max;
        qint64 count;
    };

public:
    // A sample kept in full (count 1, min == max == value), or a bucket of
    // older ones: their last time and value, their extremes and count.
    struct Sample {
        qint64 msecs;
        double value;
        double min;
        double max;
        qint64 count;
        bool Reduced() const { return count > 1; }
    };
    struct Extent {
        double min;
        double max;
    };
    static constexpr qint64 kSpanMs = 10 * 60 * 1000;
    // Ten minutes at 200 reads a second, with room to spare: a drive on a
    // real line is kept in full.
    static constexpr int kRawCapacity = 131072;
    // Narrower than a pixel column of a ten-minute view, and of the default
    // thirty seconds on a wide window.
    static constexpr qint64 kBucketMs = 20;
    // The slots from the one holding the mark ten minutes back to the
    // newest sample's: the most buckets ever kept.
    static constexpr int kMaxBuckets = static_cast<int>(kSpanMs / kBucketMs) + 1;
    static constexpr qint64 kMaxBytes =
        qint64{kRawCapacity} * qint64{sizeof(Raw)} + qint64{kMaxBuckets} * qint64{sizeof(Bucket)};

    // A capacity below 1 is taken as 1.
    explicit SampleHistory(int rawCapacity = kRawCapacity);

    // Keeps the sample, folds the oldest sample kept in full into its
    // bucket when that tier is full, and drops what falls out of ten
    // minutes. A time before the last sample's, or a value that is not
    // finite, is refused (false, nothing changes): a reading that arrives
    // late must not reorder the history. An equal time is kept, after the
    // sample already there.
    bool Append(qint64 msecs, double value);
    // Drops every sample; the memory is kept for the next recording.
    void Clear();
    // The recording pauses here: the next sample appended starts a new run.
    // Nothing when empty; marked again before that sample, still one break.
    void MarkBreak() { m_breakPending = !Empty(); }
    // The times of the runs' first samples, oldest first, the first run's
    // left out: an entry timed at or after one and the entry before it lie
    // on either side of a pause. (A bucket whose slot holds a pause counts
    // as after it.)
    const std::vector<qint64>& Breaks() const { return m_breaks; }

    int Size() const { return m_buckets.count + m_raw.count; }
    bool Empty() const { return Size() == 0; }
    int RawCapacity() const { return m_rawCapacity; }
    // 0 is the oldest.
    Sample At(int i) const {
        Q_ASSERT(i >= 0 && i < Size());
        if (i < m_buckets.count) {
            const Bucket& b = m_buckets.At(i);
            return {b.msecs, b.value, b.min, b.max, b.count};
        }
        const Raw& r = m_raw.At(i - m_buckets.count);
        return {r.msecs, r.value, r.value, r.value, 1};
    }
    // Calls visit(const Sample&) for the entries first to last, in order:
    // what At() gives, without finding each one's tier and place again.
    template <typename Visit> void ForEach(int first, int last, Visit visit) const {
        Q_ASSERT(first >= 0 && last < Size());
        for (int i = first; i <= last && i < m_buckets.count; ++i) {
            const Bucket& b = m_buckets.At(i);
            visit(Sample{b.msecs, b.value, b.min, b.max, b.count});
        }
        // The samples kept in full lie in at most two runs of the ring.
        int from = std::max(first - m_buckets.count, 0);
        const int to = last - m_buckets.count;
        while (from <= to) {
            const size_t slot = m_raw.Slot(from);
            const int run = std::min(to - from + 1, static_cast<int>(m_raw.cells.size() - slot));
            for (const Raw *r = m_raw.cells.data() + slot, *end = r + run; r != end; ++r)
                visit(Sample{r->msecs, r->value, r->value, r->value, 1});
            from += run;
        }
    }
    // 0 when empty.
    qint64 FirstMsecs() const { return Empty() ? 0 : MsecsAt(0); }
    qint64 LastMsecs() const { return Empty() ? 0 : MsecsAt(Size() - 1); }

    // Every sample appended since Clear is still kept as it came.
    bool Whole() const { return m_reducedBuckets == 0 && m_samples == m_appended; }
    // Some entry is a bucket of more than one sample.
    bool Reduced() const { return m_reducedBuckets > 0; }
    // Every sample from this time on is kept in full (FirstMsecs() when
    // nothing is reduced; 0 when empty).
    qint64 FullFromMsecs() const;
    // The samples the entries stand for, and those appended since Clear.
    qint64 Samples() const { return m_samples; }
    qint64 Appended() const { return m_appended; }
    // The memory the rings hold, never above kMaxBytes for the default
    // capacity.
    qint64 MemoryBytes() const;
    // The first millisecond of the kBucketMs slot holding msecs.
    static qint64 SlotStart(qint64 msecs);

    // The last entry at or before msecs, -1 when every entry is later.
    int IndexAtOrBefore(qint64 msecs) const;
    // The entry that stands for the time msecs: a reduced bucket whose slot
    // holds it (its last sample may come a little later), else the last
    // entry at or before it; -1 when every entry is later.
    int IndexAt(qint64 msecs) const;
    // The smallest and largest value of the entries timed in [from, to]
    // (buckets with their extremes), none when there are none.
    std::optional<Extent> MinMax(qint64 from, qint64 to) const;

private:
    // A ring that starts small and doubles up to its limit, so a short
    // recording of many values does not take the full memory of each.
    template <typename T> struct Ring {
        std::vector<T> cells;
        int start = 0;
        int count = 0;

        size_t Slot(int i) const {
            int slot = start + i;
            if (slot >= static_cast<int>(cells.size()))
                slot -= static_cast<int>(cells.size());
            return static_cast<size_t>(slot);
        }
        const T& At(int i) const { return cells[Slot(i)]; }
        T& Back() { return cells[Slot(count - 1)]; }
        // The caller makes room first: count stays below limit.
        void Push(const T& item, int limit);
        T PopFront();
    };

    qint64 MsecsAt(int i) const {
        return i < m_buckets.count ? m_buckets.At(i).msecs : m_raw.At(i - m_buckets.count).msecs;
    }
    void Fold(const Raw& raw);
    void DropBucket();
    // The first entry at or after msecs, or strictly after it; Size() when
    // there is none.
    int FirstIndex(qint64 msecs, bool after) const;

    Ring<Raw> m_raw;
    Ring<Bucket> m_buckets;
    int m_rawCapacity;
    qint64 m_samples = 0;
    qint64 m_appended = 0;
    int m_reducedBuckets = 0;
    std::vector<qint64> m_breaks;
    bool m_breakPending = false;
};

} // namespace kt::monitor
