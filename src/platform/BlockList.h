// A sequence with indexed access whose inserts and erases in the middle cost
// the size of one block, not of the whole sequence: a table's view of tens
// of thousands of records takes a post at any place in its order cheaply.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

template <typename T>
class TBlockList {
public:
    size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    void clear()
    {
        FBlocks.clear();
        FStarts.clear();
        FSize = 0;
        FHint = 0;
    }
    void push_back(T item)
    {
        if (FBlocks.empty() || FBlocks.back().size() >= Block) {
            FStarts.push_back(FSize);
            FBlocks.emplace_back().reserve(Block);
        }
        FBlocks.back().push_back(std::move(item));
        ++FSize;
    }
    void swap(TBlockList &other) noexcept
    {
        std::swap(FBlocks, other.FBlocks);
        std::swap(FStarts, other.FStarts);
        std::swap(FSize, other.FSize);
        std::swap(FHint, other.FHint);
    }

    T &operator[](size_t at)
    {
        const size_t b = Find(at);
        return FBlocks[b][at - FStarts[b]];
    }
    const T &operator[](size_t at) const
    {
        const size_t b = Find(at);
        return FBlocks[b][at - FStarts[b]];
    }

    // Before the item at at; at == size() appends.
    void insert(size_t at, T item)
    {
        if (FBlocks.empty()) {
            FBlocks.emplace_back();
            FStarts.push_back(0);
        }
        const size_t b = at == FSize ? FBlocks.size() - 1 : Find(at);
        std::vector<T> &block = FBlocks[b];
        block.insert(block.begin() + std::ptrdiff_t(at - FStarts[b]), std::move(item));
        ++FSize;
        for (size_t k = b + 1; k < FStarts.size(); ++k)
            ++FStarts[k];
        if (block.size() >= 2 * Block) {
            std::vector<T> tail(std::make_move_iterator(block.begin() + std::ptrdiff_t(Block)),
                                std::make_move_iterator(block.end()));
            block.resize(Block);
            FBlocks.insert(FBlocks.begin() + std::ptrdiff_t(b + 1), std::move(tail));
            FStarts.insert(FStarts.begin() + std::ptrdiff_t(b + 1), FStarts[b] + Block);
        }
    }
    void erase(size_t at)
    {
        const size_t b = Find(at);
        std::vector<T> &block = FBlocks[b];
        block.erase(block.begin() + std::ptrdiff_t(at - FStarts[b]));
        --FSize;
        for (size_t k = b + 1; k < FStarts.size(); ++k)
            --FStarts[k];
        if (block.empty()) {
            FBlocks.erase(FBlocks.begin() + std::ptrdiff_t(b));
            FStarts.erase(FStarts.begin() + std::ptrdiff_t(b));
            FHint = 0;
        }
    }

    // The index of the first item for which below is false, the items being
    // partitioned by it (all that are below come first).
    template <typename Below>
    size_t partition_point(Below below) const
    {
        const auto block = std::partition_point(FBlocks.begin(), FBlocks.end(),
                                                [&](const std::vector<T> &items) { return below(items.back()); });
        if (block == FBlocks.end())
            return FSize;
        const size_t b = size_t(block - FBlocks.begin());
        return FStarts[b] + size_t(std::partition_point(block->begin(), block->end(), below) - block->begin());
    }

private:
    static constexpr size_t Block = 256;

    // The block holding at; walks usually ask for the hinted one or the next.
    size_t Find(size_t at) const
    {
        for (size_t b = FHint; b < FHint + 2 && b < FBlocks.size(); ++b)
            if (at >= FStarts[b] && at - FStarts[b] < FBlocks[b].size())
                return FHint = b;
        const auto it = std::upper_bound(FStarts.begin(), FStarts.end(), at);
        return FHint = size_t(it - FStarts.begin()) - 1;
    }

    std::vector<std::vector<T>> FBlocks; // none empty
    std::vector<size_t> FStarts;         // index of each block's first item
    size_t FSize = 0;
    mutable size_t FHint = 0;
};
