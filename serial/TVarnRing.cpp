#include "serial/TVarnRing.h"

#include <algorithm>
#include <cstring>

void TVarnRing::Allocate(int size) {
    data_.reset(new char[size > 0 ? size : 1]());
    size_ = size;
    Empty();
}

void TVarnRing::Free() {
    data_.reset();
    size_ = 0;
    Empty();
}

// The full flag is only ever set as the write index meets the read index, so this one
// formula gives both rings' counts.
int TVarnRing::Count() const {
    if (read_ == write_) return full_ ? size_ : 0;
    const int n = write_ - read_;
    return n < 0 ? n + size_ : n;
}

void TVarnRing::Empty() {
    read_ = write_ = 0;
    full_ = false;
}

// ---- input ring -----------------------------------------------------------------

int TVarnInputRing::ContiguousRoom() const {
    return read_ <= write_ ? size_ - write_ : Room();
}

void TVarnInputRing::Filled(int n) {
    write_ += n;
    if (write_ == size_) write_ = 0;
    full_ = write_ == read_;
}

bool TVarnInputRing::Take(char* buffer, int n) {
    if (Count() < n) return false;
    if (n == 0) return true;  // a full ring stays full
    const int first = std::min(n, size_ - read_);
    std::memcpy(buffer, data_.get() + read_, first);
    std::memcpy(buffer + first, data_.get(), n - first);
    read_ += n;
    if (read_ >= size_) read_ -= size_;
    full_ = false;
    return true;
}

void TVarnInputRing::Discard() {
    read_ = write_;
    full_ = false;
}

// ---- output ring ----------------------------------------------------------------

bool TVarnOutputRing::Put(const char* data, int n) {
    const int room = Room();
    if (n > room) return false;
    if (n == room) full_ = true;
    const int first = std::min(n, size_ - write_);
    std::memcpy(data_.get() + write_, data, first);
    std::memcpy(data_.get(), data + first, n - first);
    write_ += n;
    if (write_ >= size_) write_ -= size_;
    return true;
}

std::span<const char> TVarnOutputRing::NextChunk() {
    if (!data_) return {};
    const int count = Count();
    if (count == 0) return {};
    char* ring = data_.get();
    if (read_ < write_) return {ring + read_, static_cast<size_t>(write_ - read_)};
    if (write_ == 0) return {ring + read_, static_cast<size_t>(size_ - read_)};
    // The contents wrap round the end (a full ring with its indices inside is such a
    // case): turn the ring so that they start at 0. The free part ends up behind them.
    std::rotate(ring, ring + read_, ring + size_);
    read_ = 0;
    write_ = count == size_ ? 0 : count;
    return {ring, static_cast<size_t>(count)};
}

void TVarnOutputRing::Sent(int n) {
    read_ += n;
    if (read_ >= size_) read_ -= size_;
    if (read_ == write_) read_ = write_ = 0;
    full_ = false;
}
