// SPDX-License-Identifier: Apache-2.0
// A growable array that keeps its first kInline entries in the object itself,
// so that a table of the hardware's size never touches the heap; larger
// requests spill into a std::vector. The inline entries are left
// uninitialised until pushed: the knee-point extractor builds several of these
// per table and must not pay for clearing them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

template <typename T, size_t kInline>
class SmallArray {
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "entries are copied and dropped as plain bytes");

public:
    SmallArray() : mData(mInline.items) {}
    // mData points into the object itself; nothing needs a copy.
    SmallArray(const SmallArray&) = delete;
    SmallArray& operator=(const SmallArray&) = delete;

    size_t size() const { return mSize; }
    bool empty() const { return mSize == 0; }
    T* data() { return mData; }
    const T* data() const { return mData; }
    T* begin() { return mData; }
    T* end() { return mData + mSize; }
    const T* begin() const { return mData; }
    const T* end() const { return mData + mSize; }
    T& operator[](size_t i) { return mData[i]; }
    const T& operator[](size_t i) const { return mData[i]; }
    T& back() { return mData[mSize - 1]; }
    size_t capacity() const { return mCapacity; }

    void push_back(const T& value) {
        if (mSize == mCapacity) {
            const T copy = value;  // value may live in the storage that grow() frees
            grow();
            new (&mData[mSize++]) T(copy);
            return;
        }
        new (&mData[mSize++]) T(value);
    }
    template <typename... Args>
    T& emplace_back(Args... args) {
        if (mSize == mCapacity) grow();
        return *new (&mData[mSize++]) T(args...);
    }
    void pop_back() { mSize--; }
    // Keeps the first n entries (n <= size()).
    void truncate(size_t n) { mSize = n; }
    // Makes room for n entries in all, so that entries up to n can be
    // written through data() without a check each.
    void reserve(size_t n) {
        if (n > mCapacity) grow(n);
    }
    // Takes the first n entries (n <= capacity()) as the array's, those
    // beyond the old size as written through data() (a writer may leave
    // some of them unwritten, as long as it does not read them back).
    void setSize(size_t n) { mSize = n; }

private:
    // Moves the entries to the heap, with room for twice as many, or for
    // `atLeast` when that is more. The entries are copied as bytes: some
    // may never have been written (see setSize).
    void grow(size_t atLeast = 0) {
        std::vector<T> larger(std::max(2 * mCapacity + 2, atLeast));
        if (mSize > 0) std::memcpy(static_cast<void*>(larger.data()), mData, mSize * sizeof(T));
        mHeap.swap(larger);
        mData = mHeap.data();
        mCapacity = mHeap.size();
    }

    // A union so that the entries are not constructed with the object.
    union Inline {
        Inline() {}
        T items[kInline];
    } mInline;
    std::vector<T> mHeap;
    T* mData;
    size_t mSize = 0;
    size_t mCapacity = kInline;
};
