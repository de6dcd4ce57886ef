// Block storage for ArrayBase and the value semantics of Array.
//
// Slot is the only way to a cell; everything else goes through it, so the
// out-of-bounds line is written in one place.  Sort is a partition sort on
// Position values driven through the virtual iteration slots, so that a
// subclass which redefines them changes how Sort walks.
#include "common/foundation/array.h"

#include <new>

#include "platform/errors.h"

namespace {

std::uint32_t BlockSizeFor(std::uint32_t capacity) {
    return capacity / ArrayBase::kBlockCount + (capacity % ArrayBase::kBlockCount != 0 ? 1u : 0u);
}

void ReportOutOfBounds(std::uint32_t i) {
    std::fprintf(stdout, "Array out of bounds index %d\n", static_cast<int>(static_cast<std::int32_t>(i)));
}

}  // namespace

ArrayBase::ArrayBase(std::uint32_t capacity, std::int32_t owns)
    : blockSize(BlockSizeFor(capacity)), ownsElements(owns), blocks{}, overflowCell(nullptr),
      overflowObject(new (std::nothrow) Object()) {
    classTag = kArrayBaseTag;
    overflowCell = overflowObject;
}

ArrayBase::~ArrayBase() {
    RemoveAll();
    delete overflowObject;
}

std::uint32_t ArrayBase::Capacity() const {
    // blockSize is at most ceil(2^32 / 25), so 25 x blockSize can pass 2^32
    // only for capacities within 24 of the top; clamp there.
    const std::uint64_t full = static_cast<std::uint64_t>(blockSize) * kBlockCount;
    return full > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(full);
}

Object*& ArrayBase::Cell(std::uint32_t i) const {
    if (i >= Capacity()) {
        ReportOutOfBounds(i);
        overflowCell = overflowObject;
        return overflowCell;
    }
    const std::uint32_t b = i / blockSize;
    if (blocks[b] == nullptr) {
        blocks[b] = new (std::nothrow) Object*[blockSize]();
        if (blocks[b] == nullptr) {
            // No memory for the block: hand out the overflow cell so the
            // caller still gets a usable cell and nothing is written wild.
            overflowCell = overflowObject;
            return overflowCell;
        }
    }
    return blocks[b][i % blockSize];
}

Object*& ArrayBase::Slot(std::uint32_t i) { return Cell(i); }

Object* ArrayBase::Get(std::int32_t i) const { return Cell(static_cast<std::uint32_t>(i)); }

void ArrayBase::Append(Object* object, int copy) {
    const std::uint32_t next = static_cast<std::uint32_t>(LastIndex() + 1);
    if (next >= Capacity()) {
        // Full: the line is written as for any out-of-range index, but the
        // element is not parked in overflowCell, where the next Append or
        // read would lose it.  An owning array took the element over, so it
        // disposes of it; a copy is never made.
        ReportOutOfBounds(next);
        if (copy == 0 && ownsElements != 0 && object != overflowObject) {
            delete object;
        }
        return;
    }
    Object* stored = object;
    if (copy != 0 && object != nullptr) {
        stored = object->MakeCopy();
    }
    Cell(next) = stored;
}

Object* ArrayBase::RemoveLast() {
    const std::int32_t n = LastIndex();
    if (n < 0) {
        return nullptr;
    }
    Object*& cell = Cell(static_cast<std::uint32_t>(n));
    Object* element = cell;
    cell = nullptr;
    const std::uint32_t un = static_cast<std::uint32_t>(n);
    if (un % blockSize == 0) {
        const std::uint32_t b = un / blockSize;
        delete[] blocks[b];
        blocks[b] = nullptr;
    }
    return element;
}

std::int32_t ArrayBase::LastIndex() const {
    for (;;) {
        int k = 0;
        while (k < kBlockCount && blocks[k] != nullptr) {
            ++k;
        }
        if (k == 0) {
            return -1;
        }
        Object** block = blocks[k - 1];
        // Occupied cells form a prefix of the block (invariant 1), so the
        // boundary is found by bisection.
        std::int64_t lo = 0;
        std::int64_t hi = static_cast<std::int64_t>(blockSize) - 1;
        do {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (block[mid] != nullptr) {
                lo = mid + 1;
            } else {
                hi = mid - 1;
            }
        } while (hi > lo);
        if (hi >= 0 && block[hi] == nullptr) {
            hi = hi - 1;
        }
        if (hi < 0) {
            delete[] block;
            blocks[k - 1] = nullptr;
            continue;
        }
        return static_cast<std::int32_t>(static_cast<std::int64_t>(k - 1) * blockSize + hi);
    }
}

void ArrayBase::RemoveAll() {
    for (auto& block : blocks) {
        if (block == nullptr) {
            continue;
        }
        if (ownsElements != 0) {
            for (std::uint32_t c = 0; c < blockSize; ++c) {
                delete block[c];
            }
        }
        delete[] block;
        block = nullptr;
    }
}

void ArrayBase::ResetCapacity(std::uint32_t capacity) {
    RemoveAll();
    blockSize = BlockSizeFor(capacity);
}

void ArrayBase::Print(std::FILE* stream, int /*n*/) const {
    for (auto* block : blocks) {
        if (block == nullptr) {
            continue;
        }
        for (std::uint32_t c = 0; c < blockSize; ++c) {
            if (block[c] != nullptr) {
                block[c]->Print(stream, 0);
                std::fputs("\n", stream);
            }
        }
    }
}

Position ArrayBase::FirstElement() {
    Report("undefined FirstElement()");
    return Position{nullptr, 0};
}

Position ArrayBase::LastElement() {
    Report("undefined LastElement()");
    return Position{nullptr, 0};
}

Position ArrayBase::PreviousElement(Position p) {
    if (p.index > 0 && static_cast<std::uint32_t>(p.index) < Capacity()) {
        return Position{Get(p.index - 1), p.index - 1};
    }
    return Position{nullptr, 0};
}

Position ArrayBase::NextElement(Position p) {
    if (p.index >= 0 && static_cast<std::uint64_t>(p.index) + 1 < Capacity()) {
        return Position{Get(p.index + 1), p.index + 1};
    }
    return Position{nullptr, 0};
}

int ArrayBase::SwapElements(Position a, Position b) {
    const std::uint32_t ia = static_cast<std::uint32_t>(a.index);
    const std::uint32_t ib = static_cast<std::uint32_t>(b.index);
    if (ia >= Capacity() || ib >= Capacity()) {
        // Swapping with the overflow cell would take an element out of the
        // array and put the plain Object in; refuse after the usual line.
        ReportOutOfBounds(ia >= Capacity() ? ia : ib);
        return -1;
    }
    Object*& ca = Cell(ia);
    Object*& cb = Cell(ib);
    Object* t = ca;
    ca = cb;
    cb = t;
    return 0;
}

int ArrayBase::Sort(std::int32_t first, std::int32_t last) {
    if (first < 0 || static_cast<std::uint32_t>(last) >= Capacity()) {
        return -1;
    }
    Position f{Get(first), first};
    Position l{Get(last), last};
    PartitionSort(f, l);
    return 1;
}

// Two positions are at the same place when they name the same cell.  For the
// distinct elements that callers sort this is the same as holding the same
// element, and unlike element identity it cannot be fooled into walking past
// the range by absent cells or a Compare that is not an order.
void ArrayBase::PartitionSort(Position f, Position l) {
    for (;;) {
        if (f.index >= l.index) {
            return;
        }
        Object* pivot = f.element;
        if (pivot == nullptr) {
            return;
        }
        Position left = f;
        Position right = l;
        int ls = 0;
        int rs = 0;
        // After a swap the positions that name the swapped cells take the
        // element now in them.
        auto follow = [](Position& p, const Position& a, const Position& b) {
            if (p.index == a.index) {
                p.element = a.element;
            } else if (p.index == b.index) {
                p.element = b.element;
            }
        };
        while (left.index < right.index) {
            while (right.index > left.index && pivot->Compare(right.element) < 0) {
                right = PreviousElement(right);
                ++rs;
            }
            while (left.index < right.index && pivot->Compare(left.element) >= 0) {
                left = NextElement(left);
                ++ls;
            }
            if (left.index >= right.index) {
                break;
            }
            if (SwapElements(left, right) != 0) {
                return;  // the cells cannot be exchanged: stop rather than spin
            }
            Object* t = left.element;
            left.element = right.element;
            right.element = t;
            follow(f, left, right);
            follow(l, left, right);
        }
        if (f.index != right.index) {
            if (SwapElements(f, right) == 0) {
                Object* t = f.element;
                f.element = right.element;
                right.element = t;
                follow(left, f, right);
                follow(l, f, right);
            }
        }
        // The pivot stands at right.index: everything before it is not
        // greater, everything after it is greater.  The part sorted second
        // is done by this loop, which bounds the recursion on presorted
        // input.
        const bool hasRight = right.index != l.index;
        const bool hasLeft = f.index != right.index;
        Position rightFirst = hasRight ? NextElement(right) : Position{nullptr, 0};
        Position leftLast = hasLeft ? PreviousElement(right) : Position{nullptr, 0};
        if (rs < ls) {
            if (hasRight) {
                PartitionSort(rightFirst, l);
            }
            if (!hasLeft) {
                return;
            }
            l = leftLast;
        } else {
            if (hasLeft) {
                PartitionSort(f, leftLast);
            }
            if (!hasRight) {
                return;
            }
            f = rightFirst;
        }
    }
}

Array::Array(std::uint32_t capacity, std::int32_t owns) : ArrayBase(capacity, owns) { classTag = kArrayTag; }

int Array::Compare(const Object* other) const {
    if (other == nullptr || other->classTag != kArrayTag) {
        return -1;
    }
    const Array* that = static_cast<const Array*>(other);
    (void)LastIndex();
    (void)that->LastIndex();
    return Equal(*that) ? 0 : 1;
}

Object* Array::MakeCopy() const {
    Array* copy = new (std::nothrow) Array(Capacity(), 1);
    if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    copy->CopyFrom(*this);
    return copy;
}

bool Array::Equal(const Array& other) const {
    const std::int32_t n = LastIndex();
    if (n != other.LastIndex()) {
        return false;
    }
    for (std::int32_t i = 0; i <= n; ++i) {
        Object* mine = Get(i);
        Object* theirs = other.Get(i);
        if (theirs == nullptr || theirs->Compare(mine) != 0) {
            return false;
        }
    }
    return true;
}

Array& Array::CopyFrom(const Array& other) {
    if (&other == this) {
        return *this;
    }
    if (blockSize != other.blockSize) {
        ResetCapacity(other.Capacity());
    }
    const std::int32_t n = other.LastIndex();
    for (std::int32_t i = 0; i <= n; ++i) {
        Object* element = other.Get(i);
        Slot(static_cast<std::uint32_t>(i)) = element != nullptr ? element->MakeCopy() : nullptr;
    }
    return *this;
}
