#include "chart/point_store.h"

#include <memory>
#include <new>

namespace chart {

namespace {

// Raw memory, not zeroed: a fresh chunk of a live record is backed by
// memory only as its points are written.
point_chunks::Chunk NewChunk(size_t points) {
    auto* memory = static_cast<ChartPoint*>(::operator new(points * sizeof(ChartPoint)));
    return point_chunks::Chunk(memory, [](ChartPoint* p) { ::operator delete(p); });
}

}  // namespace

size_t PointStore::capacity() const {
    size_t total = 0;
    for (size_t k = 0; k < chunks_.size(); ++k) total += point_chunks::ChunkCapacity(k);
    return total;
}

void PointStore::push_back(const ChartPoint& p) {
    const point_chunks::Place at = point_chunks::Locate(size_);
    if (at.chunk == chunks_.size())
        chunks_.push_back(NewChunk(point_chunks::ChunkCapacity(at.chunk)));
    std::construct_at(chunks_[at.chunk].get() + at.offset, p);
    ++size_;
}

}  // namespace chart
