#include "analysis/distance_optimisation_detail.hpp"

#include <algorithm>

namespace tracora::analysis::detail {

bool ClosingGaps::Build(const CoarseTables& t, std::int32_t limit, const CancelFlag& cancel) {
    // G(i, k) = min(the least d(i, e) over e >= k, G(i - 1, k)), row by row in a buffer; the
    // part of each row under the limit is appended. That part ends at K(i), the later of
    // K(i - 1) and the last e with d(i, e) under the limit, and up to there the d(i, e) beyond
    // it cannot matter.
    const std::size_t n = t.n;
    narrow_ = limit <= std::numeric_limits<std::uint16_t>::max();
    start_.assign(n, 0);
    last_.assign(n, 0);
    narrowValues_.clear();
    values_.clear();
    // Room for every pair, of which only the pages written are touched.
    if (narrow_) {
        narrowValues_.reserve(t.d.size());
    } else {
        values_.reserve(t.d.size());
    }
    std::vector<std::int32_t> previous(n, kNone);
    std::vector<std::int32_t> current(n, kNone);
    std::size_t lastBefore = 0;  // K(i - 1); 0 for the first row
    for (std::size_t i = 0; i < n; ++i) {
        if (Cancelled(cancel)) {
            return false;
        }
        const std::int32_t* row = t.d.data() + t.rowStart[i] - i;
        std::size_t last = std::max(lastBefore, i);
        for (std::size_t e = n - 1; e > last; --e) {
            if (row[e] < limit) {
                last = e;
                break;
            }
        }
        std::int32_t running = kNone;
        std::size_t k = last;
        for (; k > i && k > lastBefore; --k) {
            running = std::min(running, row[k]);
            current[k] = running;
        }
        for (; k > i; --k) {
            running = std::min(running, row[k]);
            current[k] = std::min(running, previous[k]);
        }
        start_[i] = narrow_ ? narrowValues_.size() : values_.size();
        last_[i] = last;
        if (narrow_) {
            const std::size_t at = narrowValues_.size();
            narrowValues_.resize(at + last - i);
            std::uint16_t* out = narrowValues_.data() + at - i - 1;
            for (std::size_t q = i + 1; q <= last; ++q) {
                out[q] = static_cast<std::uint16_t>(current[q]);
            }
        } else {
            values_.insert(values_.end(), current.begin() + static_cast<std::ptrdiff_t>(i + 1),
                           current.begin() + static_cast<std::ptrdiff_t>(last + 1));
        }
        lastBefore = last;
        std::swap(previous, current);
    }
    return true;
}

std::uint32_t ClosingGaps::Pair(const CoarseTables& t, std::size_t i, std::size_t k) const {
    // G(i, e) grows with e: the latest e of the least distance is the last with G(i, e) equal
    // to G(i, k), and some a <= i is at that distance from it.
    const std::int32_t least = Get(i, k);
    std::size_t e = k;
    while (e + 1 < t.n && Get(i, e + 1) == least) {
        ++e;
    }
    std::size_t a = i;
    while (a > 0 && t.D(a, e) != least) {
        --a;
    }
    return static_cast<std::uint32_t>((a << 16) | e);
}

}  // namespace tracora::analysis::detail
