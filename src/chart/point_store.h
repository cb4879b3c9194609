#pragma once
// A chart's points in chunks that never move once written. A live record
// grows by one point per packet for hours; a single growing array would
// copy all of it, on the window thread, each time it outgrew its capacity,
// and would pull the memory out from under anyone still reading it. Here an
// append writes into the last chunk or starts a new one, and a reader that
// holds chunks (a PointsView) keeps them alive and valid while the store
// appends past them, is cleared or is destroyed.
//
// Chunk sizes double from kFirstChunk points up to kChunk points and stay
// there, so that a short chart costs little and a long one wastes at most
// part of one chunk.
//
// The store is used on the window thread; a PointsView may be read on any
// thread once handed over (the points it covers are written before it is
// taken and never again).

#include <algorithm>
#include <bit>
#include <cstddef>
#include <iterator>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "chart/chart_point.h"

namespace chart {

namespace point_chunks {

constexpr size_t kFirstShift = 8;
constexpr size_t kFirstChunk = size_t{1} << kFirstShift;  // 256 points
constexpr size_t kGrowingChunks = 8;                      // 256 .. 32768 points
constexpr size_t kChunkShift = kFirstShift + kGrowingChunks;
constexpr size_t kChunk = size_t{1} << kChunkShift;  // 65536 points, 1 MiB
// Points held by the growing chunks together.
constexpr size_t kGrowingPoints = kChunk - kFirstChunk;

struct Place {
    size_t chunk;
    size_t offset;
};

constexpr Place Locate(size_t i) {
    if (i < kGrowingPoints) {
        const size_t k = static_cast<size_t>(std::bit_width((i >> kFirstShift) + 1)) - 1;
        return {k, i - ((kFirstChunk << k) - kFirstChunk)};
    }
    const size_t j = i - kGrowingPoints;
    return {kGrowingChunks + (j >> kChunkShift), j & (kChunk - 1)};
}

constexpr size_t ChunkCapacity(size_t chunk) {
    return chunk < kGrowingChunks ? kFirstChunk << chunk : kChunk;
}

using Chunk = std::shared_ptr<ChartPoint[]>;

}  // namespace point_chunks

// Random access by index over anything with operator[] (a store, a view, a run).
template <class Points>
class PointIterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using iterator_concept = std::random_access_iterator_tag;
    using value_type = ChartPoint;
    using difference_type = std::ptrdiff_t;
    using pointer = const ChartPoint*;
    using reference = const ChartPoint&;

    PointIterator() = default;
    PointIterator(const Points* points, size_t index) : points_(points), index_(index) {}

    reference operator*() const { return (*points_)[index_]; }
    pointer operator->() const { return &**this; }
    reference operator[](difference_type n) const { return *(*this + n); }
    PointIterator& operator++() { return ++index_, *this; }
    PointIterator operator++(int) { return {points_, index_++}; }
    PointIterator& operator--() { return --index_, *this; }
    PointIterator operator--(int) { return {points_, index_--}; }
    PointIterator& operator+=(difference_type n) {
        index_ = static_cast<size_t>(static_cast<difference_type>(index_) + n);
        return *this;
    }
    PointIterator& operator-=(difference_type n) { return *this += -n; }
    friend PointIterator operator+(PointIterator it, difference_type n) { return it += n; }
    friend PointIterator operator+(difference_type n, PointIterator it) { return it += n; }
    friend PointIterator operator-(PointIterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const PointIterator& a, const PointIterator& b) {
        return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
    }
    friend bool operator==(const PointIterator& a, const PointIterator& b) {
        return a.index_ == b.index_;
    }
    friend auto operator<=>(const PointIterator& a, const PointIterator& b) {
        return a.index_ <=> b.index_;
    }
    size_t Index() const { return index_; }

private:
    const Points* points_ = nullptr;
    size_t index_ = 0;
};

// The first `count` points of a store as they were when the view was taken:
// it shares the chunks, so it stays valid whatever the store does after.
class PointsView {
public:
    using const_iterator = PointIterator<PointsView>;
    using iterator = const_iterator;

    PointsView() = default;
    PointsView(std::vector<point_chunks::Chunk> chunks, size_t count)
        : chunks_(std::move(chunks)), count_(count) {}

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const ChartPoint& operator[](size_t i) const {
        const point_chunks::Place p = point_chunks::Locate(i);
        return chunks_[p.chunk][static_cast<std::ptrdiff_t>(p.offset)];
    }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, count_}; }

private:
    std::vector<point_chunks::Chunk> chunks_;
    size_t count_ = 0;
};

class PointStore {
public:
    using const_iterator = PointIterator<PointStore>;
    using iterator = const_iterator;

    PointStore() = default;
    // A copy owns chunks of its own: two stores never append into one chunk.
    PointStore(const PointStore& other) { Append(other); }
    PointStore(PointStore&&) noexcept = default;
    PointStore& operator=(const PointStore& other) {
        if (this != &other) {
            clear();
            Append(other);
        }
        return *this;
    }
    PointStore& operator=(PointStore&&) noexcept = default;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Points the chunks allocated so far can hold.
    size_t capacity() const;
    const ChartPoint& operator[](size_t i) const {
        const point_chunks::Place p = point_chunks::Locate(i);
        return chunks_[p.chunk][static_cast<std::ptrdiff_t>(p.offset)];
    }
    const ChartPoint& front() const { return (*this)[0]; }
    const ChartPoint& back() const { return (*this)[size_ - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size_}; }

    void push_back(const ChartPoint& p);
    template <class Points>
    void Append(const Points& points) {
        for (const ChartPoint& p : points) push_back(p);
    }
    // Drops this store's hold on its chunks; views taken before keep theirs.
    void clear() {
        chunks_.clear();
        size_ = 0;
    }

    // The points written so far, for a reader that may outlive this call.
    // Costs one shared pointer per chunk, not a copy of the points.
    PointsView View() const { return PointsView(chunks_, size_); }
    // A contiguous copy, for callers that want one array.
    std::vector<ChartPoint> ToVector() const { return {begin(), end()}; }

private:
    std::vector<point_chunks::Chunk> chunks_;
    size_t size_ = 0;
};

// A contiguous run of a store's points, by index: what GetPointRange finds.
class PointRun {
public:
    using const_iterator = PointIterator<PointRun>;
    using iterator = const_iterator;

    PointRun() = default;
    // The whole store. Implicit, so that a store serves wherever a run is asked for.
    // NOLINTNEXTLINE(google-explicit-constructor): the conversion is the point
    PointRun(const PointStore& store) : store_(&store), count_(store.size()) {}
    PointRun(const PointStore& store, size_t first, size_t count)
        : store_(&store), first_(first), count_(count) {}

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Index of the run's first point in its store.
    size_t First() const { return first_; }
    const ChartPoint& operator[](size_t i) const { return (*store_)[first_ + i]; }
    const ChartPoint& front() const { return (*this)[0]; }
    const ChartPoint& back() const { return (*this)[count_ - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, count_}; }
    PointRun subspan(size_t offset, size_t count = static_cast<size_t>(-1)) const {
        return {*store_, first_ + offset, std::min(count, count_ - offset)};
    }

private:
    const PointStore* store_ = nullptr;
    size_t first_ = 0;
    size_t count_ = 0;
};

}  // namespace chart
