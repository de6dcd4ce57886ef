// Arrays of Object pointers in at most 25 lazily allocated blocks.
//
// An ArrayBase never moves its elements: its capacity, 25 x blockSize, is
// fixed at construction (or by ResetCapacity), and each block of blockSize
// cells is allocated the first time any of its cells is reached, by a read
// as much as by a write.  There is no element count.  Instead:
//
//   1. Elements are stored from index 0 upward without gaps.  Every
//      operation here keeps this; callers that write through Slot must too.
//   2. LastIndex finds the end by a binary search over the last allocated
//      leading block, and releases trailing blocks it finds empty, so it is
//      a query that may change which blocks are allocated (never the
//      elements).  The count is LastIndex() + 1.
//
// An index out of range writes "Array out of bounds index %d\n" to standard
// output (the index as a signed number, so -1 shows as -1) and the
// operation goes on with overflowCell, which always yields a plain Object
// when read.  An Append to a full array writes that line and stores
// nothing; when the array owns its elements it destroys the refused
// element (or never makes the copy), so the element neither leaks nor
// lands outside the array.
//
// Array adds value semantics: an element-wise Compare and a deep MakeCopy.
// Every array the programs create is an owning Array.  Position is the
// iteration value {element, index}.
//
// Block storage is declared mutable so that the read-only views (Get,
// LastIndex, Print, Compare) stay const: allocating a block on a read and
// releasing an empty trailing block do not change the array's value.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/foundation/object.h"

struct Position {
    Object* element;     // the element at index, or absent
    std::int32_t index;  // the cell's index
};

class ArrayBase : public Object {
public:
    static constexpr int kBlockCount = 25;  // blocks per array, fixed

    // blockSize becomes capacity / 25 rounded up (0 for capacity 0); no
    // block is allocated yet.
    ArrayBase(std::uint32_t capacity, std::int32_t ownsElements);
    ArrayBase(const ArrayBase&) = delete;
    ArrayBase& operator=(const ArrayBase&) = delete;
    // RemoveAll, then destroys the plain Object kept for overflowCell.
    ~ArrayBase() override;

    // Each allocated block in order, each element in it: the element's
    // Print (stream, 0) and "\n".
    void Print(std::FILE* stream, int n) const override;

    virtual Position FirstElement();  // reports; {absent, 0}
    virtual Position LastElement();   // reports; {absent, 0}
    // {Get (p.index - 1), p.index - 1} when 0 < p.index < capacity, else {absent, 0}.
    virtual Position PreviousElement(Position p);
    // {Get (p.index + 1), p.index + 1} when 0 <= p.index < capacity - 1, else {absent, 0}.
    virtual Position NextElement(Position p);
    // Exchanges the cells a.index and b.index (their element parts are not
    // read); 0 when done.  An index out of range writes the out-of-bounds
    // line, swaps nothing and answers -1, so no element leaves the array.
    virtual int SwapElements(Position a, Position b);

    // The cell for index i, allocating its block on first touch.  Out of
    // range: writes the out-of-bounds line and returns overflowCell, which
    // is reset to the plain Object first, so whatever a caller stored there
    // earlier is forgotten (never destroyed) and never read back.
    Object*& Slot(std::uint32_t i);
    // The content of Slot (i); absent for a cell never written.
    Object* Get(std::int32_t i) const;

    // Cell LastIndex () + 1 receives object, or its MakeCopy when copy is
    // non-zero.  Full array: see the file comment.
    void Append(Object* object, int copy = 0);
    // Takes the last element out (the caller owns it); absent when empty.
    Object* RemoveLast();
    // Index of the last element, -1 when empty.  May release empty
    // trailing blocks.
    std::int32_t LastIndex() const;
    // Releases every block, destroying the elements when ownsElements.
    void RemoveAll();
    // RemoveAll, then a new blockSize for the new capacity.
    void ResetCapacity(std::uint32_t capacity);
    // Orders the elements first..last (both included) ascending by their
    // own Compare; elements equal to a pivot end on its left.  1 when done,
    // -1 without a message when first < 0 or last is not below capacity.
    // The range must hold distinct objects.
    int Sort(std::int32_t first, std::int32_t last);

    // 25 x blockSize.
    std::uint32_t Capacity() const;

    std::uint32_t blockSize;             // cells per block
    std::int32_t ownsElements;           // non-zero: released elements are destroyed
    mutable Object** blocks[kBlockCount];  // block pointers, absent until first touch
    mutable Object* overflowCell;        // handed out for an index out of range

private:
    Object*& Cell(std::uint32_t i) const;  // Slot, usable from const views
    void PartitionSort(Position first, Position last);

    Object* overflowObject;  // the plain Object that overflowCell yields
};

class Array : public ArrayBase {
public:
    explicit Array(std::uint32_t capacity, std::int32_t ownsElements = 1);

    // -1 when other is not an Array; 0 when Equal, else 1.
    int Compare(const Object* other) const override;
    // A new owning Array of the same capacity holding MakeCopy of each
    // element; absent (last error ERROR_NOT_ENOUGH_MEMORY) when the array
    // itself cannot be allocated.
    Object* MakeCopy() const override;

    // Same LastIndex and, index by index, other's element Compare this
    // one's element == 0.  Two empty arrays are equal.
    bool Equal(const Array& other) const;
    // Meant for a new, empty array: adopts other's capacity when the block
    // sizes differ, then cell i receives MakeCopy of other's element i.
    Array& CopyFrom(const Array& other);
};
